// Loading GStreamer on first use.
#include "external/posix/gstlib.h"

#include <dlfcn.h>

#include <mutex>

#include "support/trace.h"

namespace gstlib {

namespace {

bool LoadOnce() {
    // The app library brings GStreamer, GObject and GLib with it; symbols are found through it.
    void* lib = dlopen("libgstapp-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        LTrace("gstlib::Load GStreamer is not installed");
        return false;
    }
    bool all = true;
#define TAMBER_GST_LOAD(name)                                   \
    name = reinterpret_cast<decltype(name)>(dlsym(lib, #name)); \
    all = all && name != nullptr;
    TAMBER_GST_FUNCTIONS(TAMBER_GST_LOAD)
#undef TAMBER_GST_LOAD
    if (!all) {
        LTrace("gstlib::Load GStreamer lacks a function");
        return false;
    }
    return gst_init_check(nullptr, nullptr, nullptr);
}

}  // namespace

bool Load() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = LoadOnce(); });
    return ok;
}

}  // namespace gstlib
