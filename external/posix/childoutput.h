// What started programs print: kept aside while they run, handed over only when one fails.
#pragma once

#include <string>

// Called with the program's name and the end of its output (standard output and error mixed)
// when a child is seen to end with a non-zero exit code or a signal. Null: nobody is told.
using LChildFailureReporter = void (*)(const std::string& program, const std::string& output);
void LSetChildFailureReporter(LChildFailureReporter reporter);
