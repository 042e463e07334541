// DCT container check and copy-out of the embedded sound data, run behind a progress surface.
#include "formats/dct.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/trace.h"

const char* const kDCTTranscriptionPage = "http://www.velmora.com/scrivane.html";

namespace {

constexpr int32_t kChunk = 32768;

// Little-endian reads from the container; any short read marks the reader as failed.
class Reader {
  public:
    explicit Reader(LFile& f) : f_(f) {}
    bool ok = true;
    uint32_t U(int bytes) {
        uint8_t b[4] = {};
        if (f_.Read(b, bytes) != bytes) ok = false;
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[i];
        return v;
    }
    void Skip(int64_t bytes) {
        const int64_t at = f_.Tell();
        if (at < 0 || !f_.Seek(at + bytes)) ok = false;
    }
    void SkipString() { Skip(U(1)); }

  private:
    LFile& f_;
};

int Fail(LProgressDialog* dlg, const char* message) {
    if (message) dlg->ShowError(message);
    return LPROCESS_FAILED;
}

// A failure with a message naming one path.
int FailOn(LProgressDialog* dlg, const char* format, const char* path) {
    const int n = std::snprintf(nullptr, 0, format, path);
    std::string text(size_t(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, path);
    text.resize(size_t(n));
    return Fail(dlg, text.c_str());
}

}  // namespace

int LDecodeDCT(LProgressDialog* dlg, LDCTDecode* data) {
    dlg->SetText("Loading DCT File", 0);
    dlg->SetText(data->szDCTInFilePath, 1);
    dlg->SetProgress(0);
    LFile in;
    if (!in.Open(data->szDCTInFilePath)) {
        LTrace("Process(LDCTDecode) Unable to open file");
        return LPROCESS_FAILED;
    }
    dlg->SetProgress(0.03);
    Reader r(in);
    const int64_t fileSize = in.GetFileSizeBytes();
    const uint32_t version = r.U(2);
    if (!r.ok || version > 3) return Fail(dlg, "DCT File load error");
    const uint32_t length = r.U(4);
    if (!r.ok || int64_t(length) != fileSize) return Fail(dlg, "DCT File is corrupt");
    const uint32_t flags = r.U(4);
    r.Skip(8);
    if (version >= 2 && (flags & 2)) {
        const std::string message =
            std::string(
                "You cannot load encrypted files with this software. Download Scrivane from ") +
            kDCTTranscriptionPage + " to open encrypted files.";
        return Fail(dlg, message.c_str());
    }
    if (version == 3) {
        const uint32_t flat = r.U(4);
        if (!r.ok || flat >= length) return Fail(dlg, "DCT File is corrupt");
        r.Skip(flat);
    }
    r.Skip(4);
    for (int i = 0; i < 11; ++i) r.SkipString();
    r.Skip(1);
    dlg->SetProgress(0.06);
    const uint32_t notes = r.U(4);
    if (notes > length)
        return Fail(dlg, "Unable to load dct file because of file corruption (notes error).");
    r.Skip(notes);
    if (flags & 4) {
        const uint32_t count = r.U(1);
        for (uint32_t i = 0; i < count && r.ok; ++i) {
            r.SkipString();
            const uint32_t size = r.U(4);
            if (size > length)
                return Fail(dlg,
                            "Unable to load dct file because of file corruption (attachment too "
                            "large).");
            r.Skip(size);
        }
    }
    int64_t remaining;
    if (version >= 1) {
        const uint32_t channels = r.U(1);
        if (r.ok && channels == 0)
            return Fail(dlg,
                        "Unable to load dct file because of file corruption (zero channels "
                        "error). Please ask the dictator to send it again.");
        remaining = r.U(4);
    } else {
        const int64_t at = in.Tell();
        remaining = std::max<int64_t>(fileSize - std::max<int64_t>(at, 0), 0);
    }
    // A header that ends before its fields do is no container.
    if (!r.ok) return Fail(dlg, "DCT File is corrupt");

    LFile out;
    if (!out.Create(data->szWavOutFilePath)) {
        LTrace("Process(LDCTDecode) Unable to create the temporary file");
        return FailOn(dlg, "Unable to create the temporary file \"%s\".", data->szWavOutFilePath);
    }
    std::vector<uint8_t> buffer(kChunk);
    double progress = 0.1;
    const double step = double(kChunk) / double(remaining > 0 ? remaining : 1);
    for (;;) {
        dlg->SetProgress(std::min(progress, 1.0));
        if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        const int32_t want = int32_t(std::min<int64_t>(remaining, kChunk));
        const int32_t got = want > 0 ? in.Read(buffer.data(), want) : 0;
        if (got < 0) {
            LTrace("Process(LDCTDecode) Unable to read the file");
            return FailOn(dlg, "Unable to read the DCT file \"%s\".", data->szDCTInFilePath);
        }
        if (got > 0 && out.Write(buffer.data(), got) != got) {
            LTrace("Process(LDCTDecode) Unable to write the temporary file");
            return FailOn(dlg, "Unable to write the temporary file \"%s\". The disk may be full.",
                          data->szWavOutFilePath);
        }
        if (got < kChunk) break;
        remaining -= kChunk;
        progress += step;
    }
    return LPROCESS_OK;
}
