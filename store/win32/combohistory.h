// The combo-box history on a Windows combo box.
#pragma once

#include <windows.h>

#include "store/combohistory.h"

// Empties the box's list, adds the section's stored items and selects the first.
void ComboHistoryLoad(HWND combo, const char* section);
