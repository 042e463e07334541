// The WAV reader in the 32-bit program: 64-bit sizes and offsets past 4 GiB.
#include <cstdio>

#include "formats/wav.h"
#include "tests/win32/support/wintest.h"

// A sparse RF64 file of 4.1 GiB, read across the 4 GiB mark up to its last frame.
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
