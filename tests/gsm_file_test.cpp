// ".gsm" file source and sink: frame counts, seeking, and toast/untoast as peers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "formats/gsm.h"
#include "tests/support/signal.h"
#include "tests/support/sourceutil.h"
#include "tests/support/testutil.h"

using namespace testutil;

namespace {

TEST(GsmFile, LengthsSeekAndFailures) {
    const std::string dir = ScratchDir();
    std::vector<int32_t> in(161);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t((i * 977) % 8000) * 16 - 64000;
    {
        LGSMFileSink sink((dir + "/161.gsm").c_str());
        EXPECT_EQ(sink.GetSampleRate(), 8000);
        EXPECT_EQ(sink.GetChannels(), 1);
        sink.Write(in.data(), 100);
        sink.Write(in.data() + 100, 61);
        EXPECT_EQ(sink.GetPosition(), 161);
    }
    const auto bytes = ReadFileBytes(dir + "/161.gsm");
    ASSERT_EQ(bytes.size(), 66u);
    EXPECT_EQ(bytes[0] >> 4, 0xD);
    EXPECT_EQ(bytes[33] >> 4, 0xD);

    std::vector<uint8_t> hundred(bytes.begin(), bytes.begin() + 66);
    hundred.resize(100, 0x5A);
    ASSERT_TRUE(WriteFileBytes(dir + "/100.gsm", hundred));
    LGSMFileSource src((dir + "/100.gsm").c_str());
    ASSERT_EQ(src.GetError(), 0);
    EXPECT_EQ(src.GetEndSample(), 480);
    EXPECT_EQ(src.GetPeak(), 0xFFFE0);
    const auto all = ReadFrames(src, 480);
    EXPECT_EQ(ReadFrames(src, 10), std::vector<int32_t>(10, 0));
    EXPECT_EQ(src.GetPosition(), 490);

    // Seek to 200: the second frame decoded after a reset.
    LGSMFrame fresh;
    int32_t second[160];
    fresh.DecodeNormal(hundred.data() + 33, second);
    src.Seek(200);
    EXPECT_EQ(ReadFrames(src, 10), std::vector<int32_t>(second + 40, second + 50));
    // Reading across frame boundaries in odd pieces gives the same samples as one read.
    src.Seek(0);
    std::vector<int32_t> pieces;
    for (int32_t n : {7, 153, 1, 200, 119}) {
        const auto part = ReadFrames(src, n);
        pieces.insert(pieces.end(), part.begin(), part.end());
    }
    EXPECT_EQ(std::vector<int32_t>(pieces.begin(), pieces.begin() + 480), all);
    // Before the start: silence, then the stream from frame 0.
    src.Seek(-30);
    const auto primed = ReadFrames(src, 40);
    EXPECT_EQ(std::vector<int32_t>(primed.begin(), primed.begin() + 30),
              std::vector<int32_t>(30, 0));
    EXPECT_EQ(std::vector<int32_t>(primed.begin() + 30, primed.end()),
              std::vector<int32_t>(all.begin(), all.begin() + 10));

    LGSMFileSource missing((dir + "/none.gsm").c_str());
    EXPECT_EQ(missing.GetError(), 4);
    EXPECT_EQ(missing.GetEndSample(), 0);
    LGSMFileSink bad((dir + "/no/such/dir.gsm").c_str());
    EXPECT_TRUE(bad.IsUnusable());
    EXPECT_EQ(bad.Write(in.data(), 161), 0);
}

TEST(GsmFile, ToastAndUntoastAsPeers) {
    if (!HaveTool("toast") || !HaveTool("untoast") || !HaveTool("espeak-ng"))
        GTEST_SKIP() << "toast, untoast or espeak-ng missing";
    const std::string dir = ScratchDir();
    const auto speech = Speech8k(dir);
    ASSERT_GT(speech.size(), 40000u);
    ASSERT_EQ(testutil::Run("toast -l -c '" + dir + "/speech.raw' > '" + dir + "/t.gsm'"), 0);
    ASSERT_EQ(testutil::Run("untoast -l -c '" + dir + "/t.gsm' > '" + dir + "/tu.raw'"), 0);
    LGSMFileSource src((dir + "/t.gsm").c_str());
    const auto ours = ReadAll16(src);
    const auto peer = ReadRaw16(dir + "/tu.raw");
    ASSERT_EQ(ours.size(), peer.size());
    const double vsPeer = SnrDb(peer, ours), peerSnr = SnrDb(speech, peer),
                 ourSnr = SnrDb(speech, ours);
    std::printf("toast file: ours vs untoast %.1f dB; vs original: untoast %.2f dB, ours %.2f dB\n",
                vsPeer, peerSnr, ourSnr);
    EXPECT_GT(vsPeer, 30.0);
    EXPECT_GT(ourSnr, peerSnr - 1.5);

    {
        LGSMFileSink sink((dir + "/ours.gsm").c_str());
        std::vector<int32_t> block(8192);
        for (size_t off = 0; off < speech.size(); off += 8192) {
            const size_t n = std::min<size_t>(8192, speech.size() - off);
            for (size_t i = 0; i < n; ++i) block[i] = speech[off + i] * 16;
            sink.Write(block.data(), int32_t(n));
        }
    }
    EXPECT_EQ(ReadFileBytes(dir + "/ours.gsm").size(), (speech.size() + 159) / 160 * 33);
    ASSERT_EQ(testutil::Run("untoast -l -c '" + dir + "/ours.gsm' > '" + dir + "/ou.raw'"), 0);
    const double snr = SnrDb(speech, ReadRaw16(dir + "/ou.raw"));
    std::printf("our .gsm file through untoast: %.2f dB against the input (toast: %.2f dB)\n", snr,
                peerSnr);
    EXPECT_GT(snr, peerSnr - 1.5);
}

}  // namespace
