// WAV writer and reader on Windows: shared access while writing, header fix-up, read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats/wav.h"
#include "tests/support/testutil.h"

TEST(WaveFileWin32, ReaderFollowsOpenWriterAndReadsFinalFile) {
    const std::string path = testutil::ScratchDir() + "\\w.wav";
    std::vector<int32_t> block(2 * 1000);
    for (size_t i = 0; i < block.size(); ++i) block[i] = LSampleFrom16(int16_t(i * 37 - 30000));
    LSinkRef sink = LWaveFile::OpenSinkPCM(path.c_str(), 44100, 16, 2);
    ASSERT_TRUE(sink);
    ASSERT_FALSE(sink->IsUnusable());
    sink->Write(block.data(), 1000);
    LSourceRef live = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(live->GetError(), LSRC_OK);
    EXPECT_TRUE(live->IsStreaming());
    EXPECT_EQ(live->GetEndSample(), 1000);
    sink->Write(block.data(), 1000);
    EXPECT_EQ(live->GetEndSample(), 2000);
    sink.reset();
    EXPECT_EQ(live->GetEndSample(), 2000);
    EXPECT_FALSE(live->IsStreaming());

    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(src->GetEndSample(), 2000);
    std::vector<int32_t> got(2 * 2000);
    src->Read(got.data(), 2000);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), got.begin()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), got.begin() + 2000));
    EXPECT_EQ(testutil::ReadFileBytes(path).size(), 46u + 8000);
}
