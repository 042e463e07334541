// Text conversions for the tag formats.
#include "tags/tagtext.h"

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The character at text[i] (valid UTF-8 assumed; a stray byte reads as itself), i moved on.
uint32_t NextChar(std::string_view s, size_t& i) {
    const uint8_t b = uint8_t(s[i++]);
    int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    uint32_t c = more == 3 ? b & 0x07 : more == 2 ? b & 0x0F : more == 1 ? b & 0x1F : b;
    while (more-- > 0 && i < s.size() && (uint8_t(s[i]) & 0xC0) == 0x80)
        c = c << 6 | (uint8_t(s[i++]) & 0x3F);
    return c;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string LTextFromLatin1(LBytes bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (uint8_t b : bytes) AppendUtf8(out, b);
    return out;
}

std::string LTextFromUtf16(LBytes bytes, bool bigEndian) {
    size_t i = 0;
    if (bytes.size() >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        bigEndian = bytes[0] == 0xFE;
        i = 2;
    }
    auto unit = [&](size_t at) {
        return bigEndian ? uint32_t(bytes[at] << 8 | bytes[at + 1])
                         : uint32_t(bytes[at] | bytes[at + 1] << 8);
    };
    std::string out;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

bool LTextIsUtf8(LBytes s) {
    for (size_t i = 0; i < s.size();) {
        const uint8_t b = s[i];
        int more;
        uint32_t c;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b < 0xE0) {
            more = 1, c = b & 0x1F;
        } else if (b >= 0xE0 && b < 0xF0) {
            more = 2, c = b & 0x0F;
        } else if (b >= 0xF0 && b < 0xF5) {
            more = 3, c = b & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= size_t(more)) return false;
        for (int k = 1; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            c = c << 6 | (s[i + k] & 0x3F);
        }
        if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c < 0xE000))
            return false;
        i += size_t(more) + 1;
    }
    return true;
}

std::string LTextFromUnknown(LBytes bytes) {
    if (LTextIsUtf8(bytes)) return std::string(bytes.begin(), bytes.end());
    return LTextFromLatin1(bytes);
}

bool LTextIsAscii(std::string_view text) {
    for (char c : text)
        if (uint8_t(c) >= 0x80) return false;
    return true;
}

bool LTextFitsLatin1(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();)
        if (NextChar(utf8, i) > 0xFF) return false;
    return true;
}

std::string LTextToLatin1(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t c = NextChar(utf8, i);
        out += c > 0xFF ? '?' : char(c);
    }
    return out;
}

void LTextAppendUtf16LE(std::vector<uint8_t>& out, std::string_view utf8) {
    auto put = [&](uint32_t u) {
        out.push_back(uint8_t(u));
        out.push_back(uint8_t(u >> 8));
    };
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = NextChar(utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
}

std::string LTextCut(std::string_view utf8, size_t max) {
    if (utf8.size() <= max) return std::string(utf8);
    size_t n = max;
    while (n > 0 && (uint8_t(utf8[n]) & 0xC0) == 0x80) --n;
    return std::string(utf8.substr(0, n));
}

std::string LTextToZero(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

std::string LBase64Encode(LBytes bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i;
        const uint32_t v =
            uint32_t(bytes[i]) << 16 | (n > 1 ? bytes[i + 1] << 8 : 0) | (n > 2 ? bytes[i + 2] : 0);
        out += kBase64[v >> 18];
        out += kBase64[v >> 12 & 63];
        out += n > 1 ? kBase64[v >> 6 & 63] : '=';
        out += n > 2 ? kBase64[v & 63] : '=';
    }
    return out;
}

bool LBase64Decode(std::string_view text, std::vector<uint8_t>& out, size_t max) {
    out.clear();
    if (text.size() / 4 * 3 > max + 3) return false;
    out.reserve(text.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        if (c == '\r' || c == '\n') continue;
        const int v = Base64Value(c);
        if (v < 0) return false;
        acc = acc << 6 | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(uint8_t(acc >> bits));
        }
    }
    return out.size() <= max;
}
