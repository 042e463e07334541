// The per-user history behind a combo box: "Count" and "Item 1".."Item 9", most recent first.
#pragma once

#include <string>
#include <vector>

constexpr int LCOMBO_HISTORY_MAX = 9;

// The stored items 1..Count in order (each read with an empty default).
std::vector<std::string> ComboHistoryItems(const char* section);
// Moves text to the top of the history (an earlier copy drops out by the shift, at most nine
// items are kept). Empty text changes nothing. Text is used up to 259 characters.
void ComboHistorySaveText(const char* section, const char* text);
