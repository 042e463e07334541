// The tag model: fields and pictures, and the helpers every format shares.
#include "tags/tagdata.h"

#include <cstdlib>

#include "tags/tagtext.h"

void LAudioTagData::Set(const char* name, const char* value) {
    Set(std::string(name ? name : ""), std::string(value ? value : ""));
}

void LAudioTagData::Set(const std::string& name, const std::string& value) {
    std::string v = LTextCut(value, LTAG_MAX_VALUE);
    for (auto& [n, old] : items_) {
        if (n == name) {
            old = std::move(v);
            return;
        }
    }
    if (items_.size() >= LTAG_MAX_FIELDS) return;
    items_.insert(items_.begin(), {name, std::move(v)});
}

void LAudioTagData::SetMissing(const std::string& name, const std::string& value) {
    if (!*Get(name.c_str())) Set(name, value);
}

const char* LAudioTagData::Get(const char* name, const char* defaultValue) const {
    for (const auto& [n, v] : items_)
        if (n == name) return v.c_str();
    return defaultValue;
}

bool LAudioTagData::AddPicture(LTagPicture picture) {
    if (pictures_.size() >= LTAG_MAX_PICTURES || picture.data.size() > LTAG_MAX_PICTURE ||
        picture.data.empty())
        return false;
    pictures_.push_back(std::move(picture));
    return true;
}

void LTagSetNumberPair(LAudioTagData& tags, const char* numberName, const char* totalName,
                       const std::string& text, bool onlyMissing) {
    const size_t slash = text.find('/');
    auto put = [&](const char* name, const std::string& v) {
        if (v.empty()) return;
        if (onlyMissing)
            tags.SetMissing(name, v);
        else
            tags.Set(name, v);
    };
    put(numberName, text.substr(0, slash));
    if (slash != std::string::npos) put(totalName, text.substr(slash + 1));
}

std::string LTagNumberPair(const LAudioTagData& tags, const char* numberName,
                           const char* totalName) {
    std::string s = tags.Get(numberName);
    if (const char* total = tags.Get(totalName); *total && !s.empty())
        s += std::string("/") + total;
    return s;
}

std::string LTagGenreName(unsigned index) {
    return index < unsigned(LID3_GENRE_COUNT) ? kId3Genres[index] : std::to_string(index);
}

std::string LTagUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}
