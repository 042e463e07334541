// WAV writer and reader on Windows: shared access while writing, header fix-up, read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

// A 4.1 GiB RF64 file reads whole: 64-bit sizes and offsets in the 32-bit program.
TEST(WaveFileWin32, ReadsRf64PastFourGiB) {
    const std::string path = testutil::ScratchDir() + "\\big.wav";
    const int64_t frames = (int64_t(41) << 30) / 10 / 4;
    const std::vector<int64_t> marks = {0, (int64_t(1) << 30) + 1, frames - 1};
    ASSERT_TRUE(testutil::WriteSparseRf64(path, frames, marks));
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(src->GetEndSample(), frames);
    for (int64_t k : marks) {
        int32_t frame[2];
        src->Seek(int32_t(k));
        src->Read(frame, 1);
        EXPECT_EQ(frame[1], LSampleFrom16(testutil::Rf64Mark(k))) << k;
    }
    src.reset();
    std::remove(path.c_str());
}
