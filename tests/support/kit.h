// What most suites include: GoogleTest, common standard headers and the shared helpers.
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
