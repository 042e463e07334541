// The per-user combo-box history: load and most-recent-first save.
#include "store/combohistory.h"

#include <cstdio>
#include <cstring>

#include "store/settings.h"
#include "support/file.h"

namespace {

void ItemName(char* dest, int i) {
    std::snprintf(dest, 16, "Item %d", i);
}

}  // namespace

std::vector<std::string> ComboHistoryItems(const char* section) {
    std::vector<std::string> items;
    int32_t count = UserSettingsReadInt(section, "Count", 0);
    for (int32_t i = 1; i <= count && i <= LCOMBO_HISTORY_MAX; ++i) {
        char name[16], text[LMAX_PATH];
        ItemName(name, i);
        UserSettingsReadString(section, name, text, "");
        items.emplace_back(text);
    }
    return items;
}

void ComboHistorySaveText(const char* section, const char* textIn) {
    char text[LMAX_PATH];
    std::snprintf(text, sizeof text, "%s", textIn ? textIn : "");
    if (!text[0]) return;
    char carry[LMAX_PATH];
    std::memcpy(carry, text, sizeof carry);
    const int32_t count = UserSettingsReadInt(section, "Count", 0);
    for (int i = 1;; ++i) {
        char name[16], old[LMAX_PATH];
        ItemName(name, i);
        UserSettingsReadString(section, name, old, "");
        UserSettingsWriteString(section, name, carry);
        if (std::strcmp(carry, old) == 0 || std::strcmp(text, old) == 0) return;
        if (count < i) {
            UserSettingsWriteInt(section, "Count", count + 1);
            return;
        }
        if (i == LCOMBO_HISTORY_MAX) return;
        std::memcpy(carry, old, sizeof carry);
    }
}
