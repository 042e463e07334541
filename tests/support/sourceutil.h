// Reading whole sources: now part of soundutil.h (kept for the suites that include this name).
#pragma once
#include "tests/support/soundutil.h"
