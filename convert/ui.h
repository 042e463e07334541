// The few user prompts the conversion engine shows itself, one implementation per platform.
#pragma once

#include "support/progress.h"

// Answers of a Yes/No/Cancel question.
enum LAnswer : int { LANSWER_YES = 6, LANSWER_NO = 7, LANSWER_CANCEL = 2 };

// A message box with the error icon and no caption text (the platform shows "Error").
// Headless builds print the text on standard error.
void LShowErrorBox(LWindowHandle owner, const char* text);
