// LGenSourceOpen: the reader table, outside decoders into "Temp%d.wav" slots, and the messages.
#include "convert/gensource.h"

#include <cstdio>
#include <string>

#include "convert/formattable.h"
#include "convert/messages.h"
#include "formats/aiff.h"
#include "formats/raw.h"
#include "formats/wav.h"
#include "support/file.h"
#include "support/fileops.h"
#include "support/trace.h"

namespace {

constexpr const char* kCheckExists =
    "Cannot open the file \"%s\". Check it exists and you have read access.";
constexpr const char* kNoTempFile =
    "Cannot open the file \"%s\" because no temporary file could be reserved for decoding it "
    "in the folder \"";
constexpr const char* kNoTempFolder =
    "Cannot open the file \"%s\" because no private temporary folder could be set up for "
    "decoding it.";
constexpr const char* kCorrupt = "Cannot open the file \"%s\" because it is corrupt.";

// The two variants behind one face.
class OpenContext {
  public:
    OpenContext(LGenSourceInteraction* ui, LProgressDialog* dlg) : ui_(ui), dlg_(dlg) {}

    void ShowError(const std::string& text) {
        if (dlg_) {
            dlg_->ShowError(text.c_str());
        } else if (ui_ && ui_->promptOnce && *ui_->promptOnce) {
            ui_->user.ShowErrorMessage(text.c_str(), nullptr);
            *ui_->promptOnce = 0;
        }
    }
    bool MayPrompt() {
        if (!ui_ || !ui_->promptOnce) return false;
        bool may = *ui_->promptOnce != 0;
        *ui_->promptOnce = 0;
        return may;
    }
    bool Interactive() const { return dlg_ == nullptr; }
    LWindowHandle Owner() const { return ui_ ? ui_->user.GetWindow() : nullptr; }
    LUser& User() const { return ui_->user; }  // once MayPrompt said yes
    LProgressDialog* Dialog() const { return dlg_; }

  private:
    LGenSourceInteraction* ui_;
    LProgressDialog* dlg_;
};

// Formats the program does not read (and the outside decoders could not either).
std::string NotSupported(const char* path) {
    return LFormatMessage(
               "Cannot open the file \"%s\". This means that either the file format is "
               "not supported by this program or that a required codec or plugin is "
               "not installed. Please see ",
               path) +
           kFormatsWebPage + " for more information.";
}

using Msg = LReaderMessages;

std::string ReaderMessage(Msg kind, uint8_t code, const char* path) {
    switch (kind) {
        case Msg::Wav:
            if (code == LSRC_ERR_INVALID) return LFormatMessage(kCorrupt, path);
            if (code == LSRC_ERR_OPEN) return LFormatMessage(kCheckExists, path);
            if (code == LSRC_ERR_CODEC)
                return LFormatMessage(
                    "Cannot open the file \"%s\" because the required ACM codec is not installed "
                    "on this PC.\r\n\r\nOpen the file with Windows Media Player to auto-install "
                    "the codec then reattempt to load it.",
                    path);
            return LFormatMessage("Cannot open the file \"%s\".", path);
        case Msg::Mp3:
            if (code == LSRC_ERR_OPEN) return LFormatMessage(kCheckExists, path);
            return LFormatMessage(
                "Cannot open the file \"%s\". It is possibly either corrupt or not a true layer-3 "
                "MPEG file.",
                path);
        case Msg::Aiff:
            // An AIFF-C compression type not read here: the file is not damaged. Plain AIFF keeps
            // its "corrupt" text for every refusal.
            if (code == LSRC_ERR_CODEC && LAifFile::IsCompressedForm(path))
                return NotSupported(path);
            [[fallthrough]];
        case Msg::Corrupt:
            if (code == LSRC_ERR_OPEN) return LFormatMessage(kCheckExists, path);
            return LFormatMessage(kCorrupt, path);
        case Msg::Exists:
            return LFormatMessage(kCheckExists, path);
    }
    return std::string();
}

// Raw and VOX: the stored settings, maybe edited in the dialog (not written back).
int OpenRaw(LSourceRef& out, const char* path, const char* section, OpenContext& ctx) {
    LRawSettings settings(section);
    settings.Load();
    if (ctx.Interactive() && ctx.MayPrompt()) {
        if (!ctx.User().EditSettings(&settings)) {
            out = new LSRCNull(LSRC_ERR_PLACEHOLDER);
            return LPROCESS_STOPPED;
        }
    }
    out = LRawFile::OpenSource(path, settings);
    return LPROCESS_OK;
}

// A decoder that reported success but could not write all it meant to (a full disk, and a
// program that does not check its writes) leaves a WAV whose header counts more data than the
// file holds. A header still marked as being written gives no such measure.
bool DecodedWavIsComplete(const char* temp) {
    LFile file;
    LWaveDataInfo info;
    if (!file.Open(temp) || LWaveReadHeader(file, info) != LSRC_OK) return true;
    if (info.dataSize == LWAVE_STREAMING_SIZE) return true;
    return info.dataStart + int64_t(info.dataSize) <= file.GetFileSizeBytes();
}

// Outside decoders: claim a slot, decode into it, open the result as WAV.
int OpenDecoded(LSourceRef& out, const char* path, const LGenDecoder& decoder, OpenContext& ctx) {
    out = new LSRCNull(LSRC_ERR_PLACEHOLDER);
    LPathLock lock;
    char temp[LMAX_PATH];
    if (!ReserveTempWavName(lock, temp)) {
        LTrace("ProcessGenSourceOpenSource no temporary slot could be claimed");
        char folder[LMAX_PATH];
        LFile::GetTempFolder(folder);
        ctx.ShowError(folder[0] ? LFormatMessage(kNoTempFile, path) + folder + "\"."
                                : LFormatMessage(kNoTempFolder, path));
        return LPROCESS_FAILED;
    }
    int status = ctx.Interactive() ? LGenRunDecoderDialog(decoder, ctx.Owner(), path, temp)
                                   : decoder.run(ctx.Dialog(), path, temp);
    using M = LGenDecoderMessages;
    if (status == LPROCESS_FAILED && decoder.messages == M::MissingFile) {
        if (!LFileExists(path)) ctx.ShowError(LFormatMessage(kCheckExists, path));
    } else if (status == LPROCESS_FAILED && decoder.messages != M::None) {
        if (decoder.messages == M::Protected) {
            ctx.ShowError(LFormatMessage(
                "Cannot open file \"%s\". It is possible that the file does not exist, it is "
                "corrupt or the file is protected with Digital Rights Management (DRM) which "
                "limits the recording to limited players.",
                path));
        } else if (!LFileExists(path)) {
            ctx.ShowError(LFormatMessage(kCheckExists, path));
        } else if (decoder.messages == M::SonyCodec) {
            ctx.ShowError(LFormatMessage("Cannot open the file \"%s\" because the codec is not "
                                         "installed. Please download "
                                         "the Sony codec following the links from ",
                                         path) +
                          kSonyCodecWebPage);
        } else {
            ctx.ShowError(NotSupported(path));
        }
    }
    if (status != LPROCESS_OK) {
        // What a failed or cancelled decoder left is no use to anyone.
        LDeleteFile(temp);
        return status;
    }
    if (!DecodedWavIsComplete(temp)) {
        LTrace("ProcessGenSourceOpenSource the decoded file is shorter than its header says");
        ctx.ShowError(
            LFormatMessage("Cannot open the file \"%s\": its decoded sound is incomplete.", path));
        LDeleteFile(temp);
        return LPROCESS_FAILED;
    }
    out = LWaveFile::OpenSource(temp);
    return LPROCESS_OK;
}

int Open(LSourceRef& out, const char* path, OpenContext& ctx) {
    char ext[LMAX_PATH];
    GetFileExtension(ext, path);
    const LInputFormat& format = LFindInputFormat(ext);
    if (format.decoder) return OpenDecoded(out, path, *format.decoder, ctx);
    if (format.rawSection) {
        int status = OpenRaw(out, path, format.rawSection, ctx);
        if (status != LPROCESS_OK) return status;
    } else {
        out = format.open(path);
    }
    if (!out) out = new LSRCNull(LSRC_ERR_INVALID);
    if (uint8_t code = out->GetError()) {
        ctx.ShowError(ReaderMessage(format.messages, code, path));
        return LPROCESS_FAILED;
    }
    return LPROCESS_OK;
}

}  // namespace

int LGenSourceOpen(LSourceRef& out, const char* path, LGenSourceInteraction* interaction) {
    OpenContext ctx(interaction, nullptr);
    return Open(out, path, ctx);
}

int LGenSourceOpen(LSourceRef& out, const char* path, LProgressDialog* dlg) {
    OpenContext ctx(nullptr, dlg);
    return Open(out, path, ctx);
}
