// Layout reports for the window tests: each control's place and the room its text needs.
#pragma once

#include <windows.h>

// Where the environment variable TAMBER_LAYOUT_REPORT names a file, appends one line per child
// control of the window: "caption|class|id|style|left top right bottom|width height|wrapped"
// (client coordinates of the window; the text's one-line extent in the control's font; its
// height when wrapped at the control's width). Nothing otherwise.
void LReportLayout(HWND window);
