// Combo-box history for Windows combo boxes.
#include "store/win32/combohistory.h"

void ComboHistoryLoad(HWND box, const char* section) {
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : ComboHistoryItems(section))
        SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageA(box, CB_SETCURSEL, 0, 0);
}
