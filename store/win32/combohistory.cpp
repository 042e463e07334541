// Combo-box history for Windows combo boxes.
#include "store/win32/combohistory.h"

#include "support/win32/dialog.h"

void ComboHistoryLoad(HWND box, const char* section) {
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : ComboHistoryItems(section)) LComboAddText(box, item.c_str());
    SendMessageW(box, CB_SETCURSEL, 0, 0);
}
