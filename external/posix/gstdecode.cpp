// Everything the platform's media framework can play, decoded through GStreamer: uridecodebin
// into an app sink that receives 32-bit float samples, which are rounded to 16 bits here.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "external/platdec.h"
#include "external/posix/gstlib.h"
#include "support/trace.h"

// Inside this namespace the GStreamer calls go through the functions loaded on first use.
namespace gstlib {
namespace {

using Clock = std::chrono::steady_clock;

// Links the first audio stream the decoder offers to the converter; other streams stay unlinked.
void OnPadAdded(GstElement*, GstPad* pad, gpointer convert) {
    GstPad* sink = gst_element_get_static_pad(GST_ELEMENT(convert), "sink");
    if (!gst_pad_is_linked(sink)) {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        if (!caps) caps = gst_pad_query_caps(pad, nullptr);
        const char* name =
            gst_caps_get_size(caps) ? gst_structure_get_name(gst_caps_get_structure(caps, 0)) : "";
        if (std::strncmp(name, "audio/", 6) == 0) gst_pad_link(pad, sink);
        gst_caps_unref(caps);
    }
    gst_object_unref(sink);
}

// GStreamer's Opus decoder leaves out the phase inversion of intensity stereo unless asked;
// the codec's reference decoder keeps it, and so does this decode.
void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = GST_ELEMENT_GET_CLASS(element)->elementfactory;
    const char* name = factory ? GST_OBJECT_NAME(factory) : nullptr;
    if (name && std::strcmp(name, "opusdec") == 0 &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), "phase-inversion"))
        g_object_set(element, "phase-inversion", TRUE, nullptr);
}

// The pipeline and everything it owns; released in one place.
struct Pipeline {
    GstElement* pipe = nullptr;
    GstElement* sink = nullptr;  // owned by pipe
    GstBus* bus = nullptr;
    ~Pipeline() {
        if (bus) gst_object_unref(bus);
        if (pipe) {
            gst_element_set_state(pipe, GST_STATE_NULL);
            gst_object_unref(pipe);
        }
    }
    // A source stuck in a read that never returns keeps the pipeline from stopping: stop it on a
    // thread of its own so that the caller is not held.
    void StopInBackground() {
        if (bus) gst_object_unref(bus);
        bus = nullptr;
        if (GstElement* e = pipe)
            std::thread([e] {
                gst_element_set_state(e, GST_STATE_NULL);
                gst_object_unref(e);
            }).detach();
        pipe = nullptr;
    }
    bool Build(const char* path) {
        pipe = gst_pipeline_new(nullptr);
        GstElement* dec = gst_element_factory_make("uridecodebin", nullptr);
        GstElement* conv = gst_element_factory_make("audioconvert", nullptr);
        sink = gst_element_factory_make("appsink", nullptr);
        if (!pipe || !dec || !conv || !sink) {
            for (GstElement* e : {dec, conv, sink})
                if (e) gst_object_unref(e);
            sink = nullptr;
            return false;
        }
        gst_bin_add_many(GST_BIN(pipe), dec, conv, sink, nullptr);
        GstCaps* caps = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved");
        gst_app_sink_set_caps(GST_APP_SINK(sink), caps);
        gst_caps_unref(caps);
        g_object_set(sink, "sync", FALSE, "max-buffers", 64u, nullptr);
        if (!gst_element_link(conv, sink)) return false;
        gchar* uri = gst_filename_to_uri(path, nullptr);
        if (!uri) return false;
        g_object_set(dec, "uri", uri, nullptr);
        g_free(uri);
        g_signal_connect(dec, "pad-added", G_CALLBACK(OnPadAdded), conv);
        g_signal_connect(pipe, "deep-element-added", G_CALLBACK(OnElementAdded), nullptr);
        bus = gst_element_get_bus(pipe);
        return true;
    }
};

// Rounds float samples to 16 bits as the common resamplers do (nearest, clipped).
void ToInt16(const float* in, size_t n, int16_t* out) {
    for (size_t i = 0; i < n; ++i) {
        long v = std::lrintf(in[i] * 32768.0f);
        out[i] = int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
}

enum class Step { More, Done, Failed };

// Converts and appends one pulled sample; the file is created from the first one's format.
Step TakeSample(GstSample* sample, LDecodedWav& wav, const char* outPath, int& channels, int& rate,
                std::vector<int16_t>& pcm, double& seconds) {
    GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    int ch = 0, hz = 0;
    gst_structure_get_int(s, "channels", &ch);
    gst_structure_get_int(s, "rate", &hz);
    if (!wav.IsOpen()) {
        if (ch < 1 || ch > 255 || hz < 1) return Step::Failed;
        channels = ch;
        rate = hz;
        uint8_t format[18];
        LPcmFormat(format, uint16_t(ch), uint32_t(hz), 16, uint16_t(ch * 2));
        if (!wav.Create(outPath, format, 0)) {
            LTrace("Process(LDxLoadToWav) cannot create the output file");
            return Step::Failed;
        }
    } else if (ch != channels || hz != rate) {
        LTrace("Process(LDxLoadToWav) the stream changed its format");
        return Step::Failed;
    }
    GstBuffer* buf = gst_sample_get_buffer(sample);
    if (GST_BUFFER_PTS_IS_VALID(buf)) seconds = double(GST_BUFFER_PTS(buf)) / GST_SECOND;
    GstMapInfo map;
    if (!gst_buffer_map(buf, &map, GST_MAP_READ)) return Step::Failed;
    const size_t n = map.size / sizeof(float);
    if (pcm.size() < n) pcm.resize(n);
    ToInt16(reinterpret_cast<const float*>(map.data), n, pcm.data());
    gst_buffer_unmap(buf, &map);
    return wav.Append(pcm.data(), uint32_t(n * 2)) ? Step::More : Step::Failed;
}

// True when the decoded length reaches the share of the stream's duration (half a second spare).
bool Covers(const LDecodedWav& wav, int channels, int rate, gint64 duration, double share) {
    if (!wav.IsOpen() || duration <= 0) return false;
    const double decoded = double(wav.DataBytes()) / (2.0 * channels * rate);
    return decoded + 0.5 >= share * double(duration) / GST_SECOND;
}

}  // namespace
}  // namespace gstlib

// GLib allocates tables when it is loaded and keeps them until the process ends; the leak
// checker of sanitized builds is told so.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\n";
}

namespace gstlib {

int Decode(LProgressDialog* dlg, LDxLoadToWav* d) {
    char name[LMAX_PATH];
    LFile::_GetFileFromPath(name, d->szInFilePath);
    dlg->SetText("Decoding with DirectX", 0);
    dlg->SetText(name, 1);
    if (!Load()) {
        LTrace("Process(LDxLoadToWav) Could not create filter graph");
        return LPROCESS_FAILED;
    }
    Pipeline p;
    if (!p.Build(d->szInFilePath)) {
        LTrace("Process(LDxLoadToWav) Could not create filter graph");
        return LPROCESS_FAILED;
    }
    if (gst_element_set_state(p.pipe, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        LTrace("Process(LDxLoadToWav) Cannot find source filter");
        return LPROCESS_FAILED;
    }
    LDecodedWav wav;
    std::vector<int16_t> pcm;
    int channels = 0, rate = 0, result = -1;
    double seconds = 0;
    gint64 duration = -1;
    auto lastPump = Clock::time_point{};
    LStallWatch stall(d->stallMs);
    while (result < 0) {
        if (GstSample* sample =
                gst_app_sink_try_pull_sample(GST_APP_SINK(p.sink), 50 * GST_MSECOND)) {
            Step step = TakeSample(sample, wav, d->szWavOutFilePath, channels, rate, pcm, seconds);
            gst_sample_unref(sample);
            if (step == Step::Failed) result = LPROCESS_FAILED;
        } else if (gst_app_sink_is_eos(GST_APP_SINK(p.sink))) {
            // A stream that ends far before its stated duration was cut short.
            gst_element_query_duration(p.pipe, GST_FORMAT_TIME, &duration);
            const bool whole = duration <= 0 || Covers(wav, channels, rate, duration, 0.9);
            if (!whole) LTrace("Process(LDxLoadToWav) the stream ended before its duration");
            result = wav.IsOpen() && whole ? LPROCESS_OK : LPROCESS_FAILED;
        }
        if (result >= 0) break;
        while (GstMessage* m = gst_bus_pop_filtered(p.bus, GST_MESSAGE_ERROR)) {
            GError* err = nullptr;
            gst_message_parse_error(m, &err, nullptr);
            char line[300];
            std::snprintf(line, sizeof line, "Process(LDxLoadToWav) %s", err ? err->message : "");
            LTrace(line);
            if (err) g_error_free(err);
            gst_message_unref(m);
            if (duration <= 0) gst_element_query_duration(p.pipe, GST_FORMAT_TIME, &duration);
            result = Covers(wav, channels, rate, duration, 1.0) ? LPROCESS_OK : LPROCESS_FAILED;
        }
        if (result >= 0) break;
        const auto now = Clock::now();
        if (now - lastPump >= std::chrono::milliseconds(100)) {
            lastPump = now;
            if (dlg->PumpMessages()) {
                result = LPROCESS_STOPPED;
                p.StopInBackground();
                break;
            }
            if (duration <= 0) gst_element_query_duration(p.pipe, GST_FORMAT_TIME, &duration);
            const double whole = duration > 0 ? double(duration / GST_SECOND) : 0.0;
            const double shown = double(int64_t(seconds)) / (whole >= 1 ? whole : 1.0);
            dlg->SetProgress(shown < 1 ? shown : 1.0);
        }
        if (stall.Stalled(wav)) {
            LTrace("Process(LDxLoadToWav) the decoder stalled");
            result = LPROCESS_FAILED;
            p.StopInBackground();
        }
    }
    if (result == LPROCESS_OK && !wav.Finish()) result = LPROCESS_FAILED;
    if (result != LPROCESS_OK) wav.Abandon();
    return result;
}

}  // namespace gstlib

const bool kPlatformDecodesOpus = true;

int LPlatformDecodeToWav(LProgressDialog* dlg, LDxLoadToWav* d) {
    return gstlib::Decode(dlg, d);
}
