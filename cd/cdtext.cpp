// The CD-TEXT pack parser and its reading from the drive.
#include "cd/cdtext.h"

#include <cstring>
#include <memory>

#include "cd/scsi.h"
#include "cd/toc.h"
#include "support/byteorder.h"
#include "support/trace.h"

namespace {

constexpr int kPackBytes = 18;

// One pack type's text stream: the track whose text is being read and that text so far.
struct Stream {
    bool inSync = false;
    bool skipping = false;  // inside a text whose beginning was lost
    uint8_t nextSequence = 0;
    int track = 0;
    int length = 0;  // bytes of UTF-8 so far
};

void Finish(Stream& st, char (*texts)[LCD_TEXT_CHARS]) {
    if (st.track < LCD_TEXT_TRACKS) {
        char* text = texts[st.track];
        text[st.length] = 0;
        // A single tab stands for the text of the track before.
        if (std::strcmp(text, "\t") == 0)
            std::memcpy(text, st.track > 0 ? texts[st.track - 1] : "", LCD_TEXT_CHARS);
    }
    ++st.track;
    st.length = 0;
}

// Forgets the text being read (its end will not come).
void Drop(Stream& st, char (*texts)[LCD_TEXT_CHARS]) {
    if (st.length > 0 && st.track < LCD_TEXT_TRACKS)
        std::memset(texts[st.track], 0, LCD_TEXT_CHARS);
    st.length = 0;
}

void Append(Stream& st, char (*texts)[LCD_TEXT_CHARS], uint8_t c) {
    if (st.track >= LCD_TEXT_TRACKS) return;
    char* text = texts[st.track];
    const int need = c < 0x80 ? 1 : 2;
    if (st.length + need >= LCD_TEXT_CHARS) return;  // cut
    if (c < 0x80) {
        text[st.length++] = char(c);
    } else {
        text[st.length++] = char(0xC0 | (c >> 6));
        text[st.length++] = char(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool LCDTextPackIntact(const uint8_t* pack) {
    uint16_t crc = 0;
    for (int i = 0; i < 16; ++i) {
        crc ^= uint16_t(pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return uint16_t(~crc) == LoadBE16(pack + 16);
}

bool LCDParseText(const uint8_t* response, int bytes, LCDText& out) {
    std::memset(&out, 0, sizeof out);
    if (bytes < 4) return false;
    const int length = LoadBE16(response) + 2;
    const int end = length < bytes ? length : bytes;
    Stream streams[2];
    bool found = false;
    for (int at = 4; at + kPackBytes <= end; at += kPackBytes) {
        const uint8_t* p = response + at;
        if (p[0] != 0x80 && p[0] != 0x81) continue;
        Stream& st = streams[p[0] - 0x80];
        auto& texts = out.texts[p[0] - 0x80];
        const int block = (p[3] >> 4) & 7;
        if (block != 0 || (p[3] & 0x80) || (p[1] & 0x80)) continue;
        if (!LCDTextPackIntact(p)) {
            Drop(st, texts);
            st.inSync = false;
            continue;
        }
        if (!st.inSync || p[2] != st.nextSequence) {
            // Start afresh at this pack: its first text is whole only when it begins here.
            Drop(st, texts);
            st.track = p[1];
            st.skipping = (p[3] & 0x0F) != 0;
            st.inSync = true;
        }
        st.nextSequence = uint8_t(p[2] + 1);
        for (int i = 4; i < 16; ++i) {
            const uint8_t c = p[i];
            if (st.skipping) {
                if (c == 0) st.skipping = false, ++st.track;
                continue;
            }
            if (c == 0) {
                found = found || st.length > 0;
                Finish(st, texts);
            } else {
                Append(st, texts, c);
            }
        }
    }
    for (int type = 0; type < 2; ++type) Drop(streams[type], out.texts[type]);
    return found;
}

bool LCDApplyText(const LCDText& text, LCDDBInfo& info) {
    const int tracks = info.iTracks < LCD_TEXT_TRACKS ? info.iTracks : LCD_TEXT_TRACKS - 1;
    bool named = false;
    for (int t = 1; t <= tracks; ++t) {
        if (!text.texts[0][t][0]) continue;
        std::memcpy(info.Tracks[t - 1].TrackName, text.texts[0][t], LCD_TEXT_CHARS);
        named = true;
    }
    if (!named) return false;
    std::memcpy(info.szAlbumName, text.texts[0][0], LCD_TEXT_CHARS);
    std::memcpy(info.szArtist, text.texts[1][0], LCD_TEXT_CHARS);
    return true;
}

bool LCDReadText(LProgressDialog* dlg, LCDDBInfo& info) {
    LSCSI drive;
    if (!drive.OpenCDROMDrive(info.iDrive)) return false;
    std::unique_ptr<uint8_t[]> response(new uint8_t[LCD_TEXT_BYTES]);
    int bytes = 0;
    if (ProcessSCSICDReadText(dlg, drive, response.get(), bytes) != LPROCESS_OK) {
        LTrace("LCDReadText the drive gives no CD-TEXT");
        return false;
    }
    std::unique_ptr<LCDText> text(new LCDText);
    return LCDParseText(response.get(), bytes, *text) && LCDApplyText(*text, info);
}
