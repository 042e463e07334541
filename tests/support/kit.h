// What most suites include: GoogleTest, the standard headers they use, and the shared helpers
// (scratch folders and files, WAV building, signals, memory sources, peers, quiet progress).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/fakeprogress.h"
#include "tests/support/peers.h"
#include "tests/support/soundutil.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;
