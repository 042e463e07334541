// Combo-box history for Windows combo boxes.
#include "store/combohistory.h"

#include <windows.h>

#include "support/file.h"

void ComboHistoryLoad(LWindowHandle combo, const char* section) {
    HWND box = static_cast<HWND>(combo);
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : ComboHistoryItems(section))
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageA(box, CB_SETCURSEL, 0, 0);
}

void ComboHistorySave(LWindowHandle combo, const char* section) {
    char text[LMAX_PATH] = {0};
    GetWindowTextA(static_cast<HWND>(combo), text, LMAX_PATH);
    ComboHistorySaveText(section, text);
}
