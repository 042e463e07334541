// The AccurateRip lookup over Winsock against the local servers the harness script starts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cd/arlookup.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "tests/support/fakeprogress.h"

namespace {

TEST(AccurateRipWinsock, PlainAndChunkedRepliesAndBoundedFailures) {
    ASSERT_NE(std::getenv("AR_PLAIN"), nullptr) << "run through accuraterip_win32_test.py";
    const uint32_t starts[] = {0, 15000, 30000};
    const LARDiscIds ids = LARComputeDiscIds(starts, 3, 45000);
    const std::pair<const char*, LARLookup> cases[] = {
        {"PLAIN", LARLookup::Found},      {"CHUNKED", LARLookup::Found},
        {"MISSING", LARLookup::NotFound}, {"OVERSIZED", LARLookup::NotFound},
        {"TRUNCATED", LARLookup::Failed}, {"REFUSE", LARLookup::Failed},
        {"SILENT", LARLookup::Failed}};
    for (auto [which, expected] : cases) {
        const std::string server =
            std::string("127.0.0.1:") + std::getenv((std::string("AR_") + which).c_str());
        SettingsWriteString(kAccurateRipSection, "Server", server.c_str());
        SettingsWriteInt(kAccurateRipSection, "Timeout", 500);
        testutil::FakeProgress dlg;
        std::vector<LARPressing> p;
        EXPECT_EQ(ProcessARLookup(&dlg, ids, p), expected) << which;
        ASSERT_EQ(p.size(), expected == LARLookup::Found ? 2u : 0u) << which;
        if (!p.empty()) {
            EXPECT_EQ(p[1].tracks[2].crc, 6u) << which;
        }
    }
    for (const char* value : {"Server", "Timeout"}) SettingsDeleteValue(kAccurateRipSection, value);
}

}  // namespace
