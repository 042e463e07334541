// Fuzzes the DCT container checks and the copy-out.
#include <cstdio>
#include <string>

#include "formats/dct.h"
#include "fuzz/fuzzfile.h"

namespace {
class QuietProgress : public LProgressDialog {
  public:
    QuietProgress() : LProgressDialog("Loading DCT file") {}
    bool PumpMessages() override { return false; }
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
    void ShowError(const char*) override {}

  protected:
    bool ProcessBody() override { return true; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = FuzzFile("dct", data, size);
    if (!path) return 0;
    static const std::string out = std::string(path) + ".wav";
    LDCTDecode rec{};
    std::snprintf(rec.szDCTInFilePath, sizeof rec.szDCTInFilePath, "%s", path);
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s", out.c_str());
    QuietProgress dlg;
    const int status = Process(&dlg, &rec);
    if (status < 0 || status > 2) __builtin_trap();
    std::remove(out.c_str());
    return 0;
}
