// The headless progress line: a front end may compose it itself (batch counts, times).
#pragma once

#include <cstddef>

// Writes the line to show for the current operation: what is done, the item and its percent.
using LProgressLineFormatter = void (*)(char* line, size_t size, const char* what, const char* item,
                                        int percent);
// With a formatter set, the line is drawn only on a terminal; the front end says on other
// standard errors what it wants said. Null restores the plain line.
void LSetProgressLineFormatter(LProgressLineFormatter formatter);

// True once Ctrl+C asked the running process to stop (blocking waits on other programs check it
// so that a stop does not wait for them).
bool LInterruptRequested();
