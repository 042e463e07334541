// Tags by file extension, and the file helpers the formats share.
#include "tags/tagfile.h"

#include <algorithm>

#include "support/file.h"
#include "support/fileops.h"
#include "support/trace.h"

namespace {

enum class Kind { None, Mp3, Wav, Aiff, Flac, Ogg, Mp4, Ape };

struct Extension {
    const char* ext;
    Kind kind;
    bool write;
};
constexpr Extension kExtensions[] = {
    {".mp3", Kind::Mp3, true},   {".mp2", Kind::Mp3, false},  {".mpga", Kind::Mp3, false},
    {".wav", Kind::Wav, true},   {".aif", Kind::Aiff, true},  {".aiff", Kind::Aiff, true},
    {".aifc", Kind::Aiff, true}, {".flac", Kind::Flac, true}, {".ogg", Kind::Ogg, true},
    {".oga", Kind::Ogg, true},   {".opus", Kind::Ogg, true},  {".m4a", Kind::Mp4, true},
    {".mp4", Kind::Mp4, true},   {".m4b", Kind::Mp4, true},   {".wv", Kind::Ape, false},
    {".ape", Kind::Ape, false},  {".mpc", Kind::Ape, false},
};

Kind KindOf(const char* path, bool write) {
    const char* ext = LPathExtension(path);
    for (const Extension& e : kExtensions)
        if (ExtIs(ext, e.ext)) return !write || e.write ? e.kind : Kind::None;
    return Kind::None;
}

// Tag files are opened sharing reading and writing, retrying for up to a second while another
// program holds them. A missing file is not created: reading or writing tags never makes one.
bool OpenForTags(LFile& f, const char* path, bool write) {
    return OpenFileRetrying(f, path, write ? (LFILE_READ | LFILE_WRITE) : LFILE_READ,
                            LSHARE_READ | LSHARE_WRITE, 1000, LOPEN_EXISTING);
}

}  // namespace

bool LAudioTagData::CanWrite(const char* extension) {
    for (const Extension& e : kExtensions)
        if (ExtIs(extension, e.ext)) return e.write;
    return false;
}

bool LAudioTagData::ReadTags(const char* path) {
    const Kind kind = KindOf(path, false);
    if (kind == Kind::None) return false;
    if (kind == Kind::Wav) return UpdateTags(path, true);
    LFile f;
    if (!OpenForTags(f, path, false)) return false;
    LFileBytes bytes(f);
    switch (kind) {
        case Kind::Mp3:
            return LReadMp3Tags(bytes, *this);
        case Kind::Aiff:
            return LReadAiffTags(bytes, *this);
        case Kind::Flac:
            return LReadFlacTags(bytes, *this);
        case Kind::Ogg:
            return LReadOggTags(bytes, *this);
        case Kind::Mp4:
            return LReadMp4Tags(bytes, *this);
        default:
            return LReadApeTags(bytes, *this);
    }
}

bool LAudioTagData::WriteTags(const char* path) {
    const Kind kind = KindOf(path, true);
    if (kind == Kind::None) return false;
    if (kind == Kind::Wav) return WriteTagsWav(path);
    LFile f;
    if (!OpenForTags(f, path, true)) {
        LTrace("LAudioTagData::WriteTags cannot open the file");
        return false;
    }
    switch (kind) {
        case Kind::Mp3:
            return LWriteMp3Tags(f, *this);
        case Kind::Aiff:
            return LWriteAiffTags(f, *this);
        case Kind::Flac:
            return LWriteFlacTags(f, *this);
        case Kind::Ogg:
            return LWriteOggTags(f, *this);
        default:
            return LWriteMp4Tags(f, *this);
    }
}

bool LAudioTagData::ReadTagsMp3(const char* path) {
    LFile f;
    if (!OpenForTags(f, path, false)) return false;
    LFileBytes bytes(f);
    return LReadMp3Tags(bytes, *this);
}

bool LAudioTagData::WriteTagsMP3(const char* path) {
    LFile f;
    if (!OpenForTags(f, path, true)) {
        LTrace("LAudioTagData::WriteTagsMP3 cannot open the file");
        return false;
    }
    return LWriteMp3Tags(f, *this);
}

bool LAudioTagData::UpdateTags(const char* path, bool replace) {
    LFile f;
    if (!OpenForTags(f, path, false)) return false;
    LFileBytes bytes(f);
    LReadWavTags(bytes, *this, replace);
    return true;
}

bool LAudioTagData::WriteTagsWav(const char* path) {
    if (!UpdateTags(path, false)) {
        LTrace("LAudioTagData::WriteTagsWav cannot open the file");
        return false;
    }
    LFile f;
    if (!OpenForTags(f, path, true)) return false;
    return LWriteWavTags(f, *this);
}

bool LAudioTagData::CheckFile(const char* extension, const char* path, const LFile& file) {
    return file.IsOpen() && ExtIs(LPathExtension(path), extension);
}

void LTagMerge(LAudioTagData& into, const LAudioTagData& from) {
    const auto& items = from.Items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) into.SetMissing(it->first, it->second);
    if (into.Pictures().empty())
        for (const LTagPicture& p : from.Pictures()) into.AddPicture(p);
}

bool LReadBlock(LByteSource& bytes, int64_t pos, uint64_t n, std::vector<uint8_t>& out,
                uint64_t limit) {
    const int64_t size = bytes.Size();
    if (pos < 0 || n > limit || size < pos || uint64_t(size - pos) < n) return false;
    out.resize(size_t(n));
    return bytes.ReadAt(pos, out.data(), size_t(n));
}

bool LSpliceFile(LFile& f, int64_t pos, int64_t removed, std::span<const uint8_t> inserted) {
    const int64_t size = f.GetFileSizeBytes();
    if (size < 0 || pos < 0 || removed < 0 || pos + removed > size) return false;
    const int64_t tail = size - pos - removed;
    const int64_t shift = int64_t(inserted.size()) - removed;
    std::vector<uint8_t> buf(1 << 16);
    auto move = [&](int64_t from, int32_t n) {
        return f.Seek(from) && f.Read(buf.data(), n) == n && f.Seek(from + shift) &&
               f.Write(buf.data(), n) == n;
    };
    int64_t done = 0;
    if (shift > 0) {
        // Growing: from the end backwards, so nothing is overwritten before it is moved.
        while (done < tail) {
            const int32_t n = int32_t(std::min<int64_t>(tail - done, int64_t(buf.size())));
            done += n;
            if (!move(pos + removed + tail - done, n)) return false;
        }
    } else if (shift < 0) {
        while (done < tail) {
            const int32_t n = int32_t(std::min<int64_t>(tail - done, int64_t(buf.size())));
            if (!move(pos + removed + done, n)) return false;
            done += n;
        }
    }
    const int32_t n = int32_t(inserted.size());
    if (n && (!f.Seek(pos) || f.Write(inserted.data(), n) != n)) return false;
    if (shift < 0 && (!f.Seek(size + shift) || !f.Truncate())) return false;
    return true;
}
