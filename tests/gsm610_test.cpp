// GSM 06.10 codec: sox's GSM-in-WAV blocks (format tag 0x31), invalid lags, extreme input.
#include "formats/gsm610.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/support/signal.h"
#include "tests/support/testutil.h"

using namespace testutil;

namespace {

int16_t To16(int32_t x) {
    const int32_t v = (x + 8) >> 4;
    return int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

class GsmCodec : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("sox") || !HaveTool("espeak-ng"))
            GTEST_SKIP() << "sox or espeak-ng missing (scripts/setup.sh installs them)";
        dir = ScratchDir();
        speech = Speech8k(dir);
        ASSERT_GT(speech.size(), 40000u);
    }
    std::string dir;
    std::vector<int16_t> speech;
};

// Two frames per 65-byte block, as in WAV files with format tag 0x31 (sox writes and reads them).
TEST_F(GsmCodec, Wav49BlocksAgreeWithSox) {
    ASSERT_EQ(testutil::Run("sox -t raw -r 8000 -c 1 -b 16 -e signed -L '" + dir +
                            "/speech.raw' -e "
                            "gsm-full-rate '" +
                            dir + "/sox49.wav'"),
              0);
    ASSERT_EQ(testutil::Run("sox '" + dir + "/sox49.wav' -t raw -b 16 -e signed -L '" + dir +
                            "/s49.raw'"),
              0);
    const std::vector<uint8_t> wav = ReadFileBytes(dir + "/sox49.wav");
    size_t data = 12, size = 0;
    while (data + 8 <= wav.size()) {
        size =
            wav[data + 4] | wav[data + 5] << 8 | wav[data + 6] << 16 | size_t(wav[data + 7]) << 24;
        if (std::memcmp(&wav[data], "data", 4) == 0) break;
        data += 8 + size + (size & 1);
    }
    ASSERT_LT(data + 8, wav.size());
    data += 8;
    LGSMFrame codec;
    std::vector<int16_t> ours;
    int32_t pcm[320];
    for (size_t off = data; off + 65 <= data + size && off + 65 <= wav.size(); off += 65) {
        LGSMParams a, b;
        uint8_t again[65];
        LGSMFrame::UnpackWav49(&wav[off], a, b);
        LGSMFrame::PackWav49(a, b, again);
        ASSERT_EQ(std::memcmp(again, &wav[off], 65), 0);
        codec.DecodeWav49(&wav[off], pcm);
        for (int32_t x : pcm) ours.push_back(To16(x));
    }
    const double vsSox = SnrDb(ReadRaw16(dir + "/s49.raw"), ours);
    std::printf("WAV49 blocks: ours vs sox %.1f dB\n", vsSox);
    EXPECT_GT(vsSox, 30.0);

    // Our blocks in a WAV49 file made by hand are read by sox as speech.
    std::vector<uint8_t> blocks;
    LGSMFrame enc;
    for (size_t off = 0; off + 320 <= speech.size(); off += 320) {
        int32_t in[320];
        for (int i = 0; i < 320; ++i) in[i] = speech[off + i] * 16;
        uint8_t blk[65];
        enc.EncodeWav49(in, blk);
        blocks.insert(blocks.end(), blk, blk + 65);
    }
    std::vector<uint8_t> head(wav.begin(), wav.begin() + long(data));
    const uint32_t n = uint32_t(blocks.size()), riff = uint32_t(head.size() - 8 + n);
    for (int i = 0; i < 4; ++i) head[data - 4 + i] = uint8_t(n >> (8 * i));
    for (int i = 0; i < 4; ++i) head[4 + i] = uint8_t(riff >> (8 * i));
    head.insert(head.end(), blocks.begin(), blocks.end());
    ASSERT_TRUE(WriteFileBytes(dir + "/ours49.wav", head));
    ASSERT_EQ(testutil::Run("sox '" + dir + "/ours49.wav' -t raw -b 16 -e signed -L '" + dir +
                            "/o49.raw'"),
              0);
    const double snr = SnrDb(speech, ReadRaw16(dir + "/o49.raw"));
    std::printf("WAV49 blocks: our encoder + sox %.2f dB\n", snr);
    EXPECT_GT(snr, 8.0);
}

// Lags outside 40..120 decode with the last valid lag; extreme input stays bounded.
TEST(GsmCodecEdges, InvalidLagsAndExtremes) {
    LGSMParams p{};
    for (int i = 0; i < 8; ++i) p.LARc[i] = int16_t(5 + i);
    for (int j = 0; j < 4; ++j) {
        p.bc[j] = 3;
        p.Mc[j] = int16_t(j);
        p.xmaxc[j] = 40;
        for (int i = 0; i < 13; ++i) p.xMc[j][i] = int16_t((i * 5 + j) & 7);
    }
    LGSMParams bad = p;
    for (int j = 0; j < 4; ++j) p.Nc[j] = 40, bad.Nc[j] = int16_t(j % 2 ? 127 : 3);
    LGSMFrame a, b;
    int32_t outA[160], outB[160];
    a.Decode(p, outA);
    b.Decode(bad, outB);
    EXPECT_EQ(std::memcmp(outA, outB, sizeof outA), 0);

    // Full-scale square waves and constant extremes: every frame packs with its signature.
    LGSMFrame codec;
    int32_t in[160], out[160];
    uint8_t frame[33];
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 160; ++i)
            in[i] = round % 3 == 0   ? ((i / (round % 7 + 1)) % 2 ? 0x7FFF0 : -0x80000)
                    : round % 3 == 1 ? -0x80000
                                     : 0x7FFF0;
        codec.EncodeNormal(in, frame);
        EXPECT_EQ(frame[0] >> 4, 0xD);
        codec.DecodeNormal(frame, out);
    }
}

}  // namespace
