// Diagnostic trace texts ("Class::Method reason"): silent in the product, visible to tests.
#pragma once

#include <string>

// Records a diagnostic text. The product writes no log; the last text of the calling
// thread is kept so that tests can check which internal check fired, and it is printed
// on standard error when the environment variable TAMBER_TRACE is set.
void LTrace(const char* text);

// The last text recorded on the calling thread ("" when none), and a way to clear it.
std::string LLastTrace();
void LClearTrace();
