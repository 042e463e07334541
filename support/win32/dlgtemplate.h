// Dialog templates in the system's message font: a resource template copied with its font
// replaced, so that every dialog's text and dialog units follow the user's font.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class LDialogTemplate {
  public:
    // The named RT_DIALOG template of the module; empty when there is none. A DIALOGEX template
    // that names a font gets the message font (its face, size in points, weight, italic and
    // character set); any other is kept as it is.
    LDialogTemplate(HINSTANCE module, const wchar_t* name);

    // The template to create the dialog from (null when none was found). It lives as long as
    // this object.
    const DLGTEMPLATE* Get() const {
        return bytes_.empty() ? nullptr : reinterpret_cast<const DLGTEMPLATE*>(bytes_.data());
    }

  private:
    std::vector<uint32_t> bytes_;  // DWORD-aligned, as templates must be
};
