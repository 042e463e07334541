// LGenSourceOpen: the reader table, outside decoders into "Temp%d.wav" slots, and the messages.
#include "convert/gensource.h"

#include <cstdio>
#include <string>
#include <vector>

#include "convert/decoders.h"
#include "convert/formattable.h"
#include "convert/messages.h"
#include "formats/aiff.h"
#include "formats/raw.h"
#include "formats/sniff.h"
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

    // The same context with every message kept in messages instead of shown.
    OpenContext Deferring(std::vector<std::string>* messages) const {
        OpenContext quiet = *this;
        quiet.deferred_ = messages;
        return quiet;
    }
    std::vector<std::string>* Deferred() const { return deferred_; }

    void ShowError(const std::string& text) {
        if (deferred_) {
            deferred_->push_back(text);
        } else if (dlg_) {
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
    std::vector<std::string>* deferred_ = nullptr;
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
    int status = ctx.Interactive()
                     ? LGenRunDecoderDialog(decoder, ctx.Owner(), path, temp, ctx.Deferred())
                     : LGenRunDecoder(decoder, ctx.Dialog(), path, temp, ctx.Deferred());
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

// Opens the file as a row of the table says: its reader (and its decoder for the codecs the
// reader does not read), its raw settings, or its decoder.
int OpenAs(LSourceRef& out, const char* path, const LInputFormat& format, OpenContext& ctx) {
    if (format.rawSection) {
        int status = OpenRaw(out, path, format.rawSection, ctx);
        if (status != LPROCESS_OK) return status;
    } else if (format.open) {
        out = format.open(path);
        if (!out) out = new LSRCNull(LSRC_ERR_INVALID);
        if (format.decoder && out->GetError() == LSRC_ERR_CODEC)
            return OpenDecoded(out, path, *format.decoder, ctx);
    } else {
        return OpenDecoded(out, path, *format.decoder, ctx);
    }
    if (uint8_t code = out->GetError()) {
        ctx.ShowError(ReaderMessage(format.messages, code, path));
        return LPROCESS_FAILED;
    }
    return LPROCESS_OK;
}

// The kind of the file's content, from its first bytes.
LContentSniff SniffFile(const char* path) {
    LFile file;
    uint8_t head[LSNIFF_HEAD_BYTES];
    if (!file.Open(path)) return {};
    const int32_t n = file.Read(head, int32_t(sizeof head));
    return n > 0 ? LSniffContent(head, size_t(n)) : LContentSniff{};
}

bool IsPlatformDecoder(const LGenDecoder* d) {
    return d && d->run == kPlatformDecoder.run;
}
bool SameRoute(const LInputFormat& a, const LInputFormat& b) {
    return a.open == b.open && a.rawSection == b.rawSection &&
           (a.decoder == b.decoder || (a.decoder && b.decoder && a.decoder->run == b.decoder->run));
}

// By extension; where the extension's reader or decoder cannot take what the file holds, by
// content. Headerless files are what their settings say; the platform decoder takes anything.
int Open(LSourceRef& out, const char* path, OpenContext& ctx) {
    char ext[LMAX_PATH];
    GetFileExtension(ext, path);
    const LInputFormat& format = LFindInputFormat(ext);
    if (format.rawSection || (!format.open && IsPlatformDecoder(format.decoder)))
        return OpenAs(out, path, format, ctx);
    const LContentSniff sniff = SniffFile(path);
    const LInputFormat* content = LFindContentFormat(sniff.kind);
    const bool other = content && !SameRoute(*content, format);
    // A container signature the extension's row does not read: the content's row first,
    // quietly; when that fails too, the extension's as always.
    std::vector<std::string> unused;
    if (other && sniff.evidence == LContentEvidence::Magic) {
        OpenContext quiet = ctx.Deferring(&unused);
        const int status = OpenAs(out, path, *content, quiet);
        if (status != LPROCESS_FAILED) return status;
    }
    // What is tried when the extension's row fails: the content's row where only frame headers
    // told it; the platform decoder where a decoder of its own could not read known content.
    const LInputFormat* next = nullptr;
    if (other && sniff.evidence != LContentEvidence::Magic)
        next = content;
    else if (!other && content && !format.open && format.decoder)
        next = &LFindInputFormat("");
    if (!next) return OpenAs(out, path, format, ctx);
    std::vector<std::string> messages;
    OpenContext deferring = ctx.Deferring(&messages);
    int status = OpenAs(out, path, format, deferring);
    // A decoder that ended well without writing a WAV did not take the file either.
    if (status == LPROCESS_FAILED || (status == LPROCESS_OK && out->GetError())) {
        OpenContext quiet = ctx.Deferring(&unused);
        LSourceRef second;
        const int again = OpenAs(second, path, *next, quiet);
        if (again != LPROCESS_FAILED) {
            out = second;
            return again;
        }
    }
    for (const std::string& text : messages) ctx.ShowError(text);
    return status;
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
