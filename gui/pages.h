// The "Settings" property sheet and its pages: General, Overwrite and Formats.
#pragma once

#include <cstdint>

#include "support/win32/dialog.h"

class LGeneralPage : public LPropertyPage {
  public:
    void InitDialog() override;
    bool CmOk() override;
    void CmHelp() override;
};

class LOverwritePage : public LPropertyPage {
  public:
    void InitDialog() override;
    bool CmOk() override;
    void CmHelp() override;
};

class LFormatsPage : public LPropertyPage {
  public:
    void InitDialog() override;
    void EnableControls() override;
    bool CmOk() override;
    void CmHelp() override;
};

// Shows the sheet; true when it ended with OK.
bool SettingsSheet(HWND owner);

// The read offset box's text: a whole number of samples (-99999 to 99999).
bool ParseReadOffset(const char* text, int32_t& samples);
// A custom CD track name pattern is usable: 2 characters or more, a "%" and a "{".
bool ValidCustomPattern(const char* text);
