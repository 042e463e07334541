// The user as the engine sees them: messages, questions and the settings dialogs. Each front
// end answers in its own way (the Windows program with message boxes and dialogs, the headless
// one on the terminal); the engine only ever reaches the user through this interface or
// through a progress surface.
#pragma once

#include <variant>

#include "formats/acm.h"
#include "store/encsettings.h"
#include "support/progress.h"

// Answers of a Yes/No/Cancel question.
enum LAnswer : int { LANSWER_YES = 6, LANSWER_NO = 7, LANSWER_CANCEL = 2 };

// A settings record that a dialog edits.
using LSettingsRecordRef =
    std::variant<LRawSettings*, LMP3EncodeSettings*, LOggEncodeSettings*, LAACEncodeSettings*,
                 LFlacEncodeSettings*, LOpusEncodeSettings*>;

class LUser {
  public:
    virtual ~LUser() = default;

    // The window that owns the engine's progress surfaces; null where there is none.
    virtual LWindowHandle GetWindow() = 0;
    // A Yes/No/Cancel question with the question icon: LANSWER_YES, LANSWER_NO or LANSWER_CANCEL.
    virtual int AskYesNoCancel(const char* text, const char* caption) = 0;
    // A message box: caption null for none (the platform shows "Error"); error icon.
    virtual void ShowErrorMessage(const char* text, const char* caption) = 0;

    // The record's settings dialog: true when confirmed (the record then holds the choice and
    // the dialog has stored it), false when cancelled or where there is no such dialog.
    virtual bool EditSettings(LSettingsRecordRef record) = 0;
    // The wave format chooser ("Select Wave File Format"), listing formats of that many
    // channels (0 for all): true when a format that can be encoded was chosen.
    virtual bool ChooseWaveFormat(LWaveFileFormat& format, int channels) = 0;
    // A missing encoder component is needed: true once it is installed.
    virtual bool InstallComponent(const char* component) = 0;
};
