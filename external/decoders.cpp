// The hidden child-process runner and the command-line decoders built on it.
#include "external/decoders.h"

#include <cstdio>
#include <string>

#include "external/components.h"
#include "external/process.h"
#include "support/trace.h"

int ProcessRunCommandLineProcess(LProgressDialog* dlg, const char* commandLine,
                                 uint32_t timeoutMs) {
    LChildProcess child;
    if (!child.StartHidden(commandLine)) {
        LTrace("ProcessRunCommandLineProcess FAILED");
        return LPROCESS_FAILED;
    }
    double factor = 0.97;
    uint32_t remaining = timeoutMs;
    int result;
    for (;;) {
        uint32_t slice = remaining < 500 ? remaining : 500;
        int wait = dlg->WaitForObject(child, slice);
        if (wait != LPROCESS_FAILED) {
            // The child ended or the user cancelled.
            if (dlg->PumpMessages()) {
                LTrace("ProcessRunCommandLineProcess STOPPED");
                result = LPROCESS_STOPPED;
            } else if (child.WaitFor(0) && child.EndedBadly()) {
                // A crash or an error exit leaves at best part of its output.
                LTrace("ProcessRunCommandLineProcess child ended with an error");
                result = LPROCESS_FAILED;
            } else {
                result = LPROCESS_OK;
            }
            break;
        }
        dlg->SetProgress(1.0 - factor);
        factor *= 0.99;
        remaining -= slice;
        if (remaining == 0) {
            LTrace("ProcessRunCommandLineProcess TIME-OUT");
            result = LPROCESS_FAILED;
            break;
        }
    }
    // A stopped or timed-out decoder is ended here, before its caller lets its temporary
    // output go: a late write must never land in a file that another conversion took since.
    if (result != LPROCESS_OK) child.Kill();
    child.Release();
    return result;
}

namespace {

struct DecoderRow {
    const char* lineText;
    const char* component;
    const char* format;
    bool outputFirst;  // the AAC, Ogg and FLAC decoders take the output path before the input
};

constexpr DecoderRow kAAC{"Decoding AAC file", "aacdec", "\"%s\" -d  -o \"%s\" \"%s\"", true};
constexpr DecoderRow kOgg{"Decoding Ogg file", "oggdec", "\"%s\" -o \"%s\" \"%s\"", true};
constexpr DecoderRow kFLAC{"Decoding FLAC file", "flacdec", "\"%s\" -d -o \"%s\" \"%s\"", true};
constexpr DecoderRow kACT{"Decoding Record file", "actdec", "\"%s\" \"%s\" \"%s\"", false};
constexpr DecoderRow kShn{"Decoding Shn file", "shndec", "\"%s\" -x \"%s\" \"%s\"", false};
constexpr DecoderRow kOpus{"Decoding Opus file", "opusdec", "\"%s\" --quiet \"%s\" \"%s\"", false};

int RunDecoder(LProgressDialog* dlg, const DecoderRow& row, const char* input, const char* output) {
    char name[LMAX_PATH];
    LFile::_GetFileFromPath(name, input);
    dlg->SetText(row.lineText, 0);
    dlg->SetText(name, 1);

    LProcessGetComponentPath component;
    component.name = row.component;
    int status = ProcessGetComponentPath(dlg, &component);
    if (status != LPROCESS_OK) return status;

    // Each path goes between the row's double quotes escaped, so that a name holding a quote
    // reaches the decoder whole instead of splitting into other arguments.
    auto inner = [](const char* path) {
        std::string q = LQuotedArgument(LChildPath(path).c_str());
        return q.substr(1, q.size() - 2);
    };
    const std::string exe = inner(component.path);
    const std::string first = inner(row.outputFirst ? output : input);
    const std::string second = inner(row.outputFirst ? input : output);
    int size = std::snprintf(nullptr, 0, row.format, exe.c_str(), first.c_str(), second.c_str());
    std::string cmd(size_t(size) + 1, '\0');
    std::snprintf(cmd.data(), cmd.size(), row.format, exe.c_str(), first.c_str(), second.c_str());
    cmd.resize(size_t(size));
    status = ProcessRunCommandLineProcess(dlg, cmd.c_str(), kDecoderTimeoutMs);
    if (status == LPROCESS_FAILED) {
        const int n = std::snprintf(nullptr, 0, kDecoderFailedMessage, input, row.component);
        std::string text(size_t(n) + 1, '\0');
        std::snprintf(text.data(), text.size(), kDecoderFailedMessage, input, row.component);
        text.resize(size_t(n));
        dlg->ShowError(text.c_str());
    }
    return status;
}

}  // namespace

int LDecodeAAC(LProgressDialog* dlg, LAACDecode* d) {
    return RunDecoder(dlg, kAAC, d->szAACInFilePath, d->szWavOutFilePath);
}
int LDecodeOgg(LProgressDialog* dlg, LOggDecode* d) {
    return RunDecoder(dlg, kOgg, d->szOggInFilePath, d->szWavOutFilePath);
}
int LDecodeFLAC(LProgressDialog* dlg, LFLACDecode* d) {
    return RunDecoder(dlg, kFLAC, d->szFLACInFilePath, d->szWavOutFilePath);
}
int LDecodeACT(LProgressDialog* dlg, LACTDecode* d) {
    return RunDecoder(dlg, kACT, d->szACTInFilePath, d->szWavOutFilePath);
}
int LDecodeShn(LProgressDialog* dlg, LShnDecode* d) {
    return RunDecoder(dlg, kShn, d->szShnInFilePath, d->szWavOutFilePath);
}

int LDecodeOpus(LProgressDialog* dlg, LOpusDecode* d) {
    return RunDecoder(dlg, kOpus, d->szOpusInFilePath, d->szWavOutFilePath);
}

const char* VoiceItMissingMessage() {
    static const std::string text =
        std::string(
            "Unable to load the VoiceIt file SrPump.dll.\r\n\r\nPlease download and "
            "install the VoiceIt addon from ") +
        kVoiceItWebPage + ".";
    return text.c_str();
}
