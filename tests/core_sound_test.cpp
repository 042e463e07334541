// Sources, sinks, counted references and the sample scale.
#include <gtest/gtest.h>

#include <vector>

#include "core/sound.h"

namespace {

// A 1000-frame mono ramp source for exercising the Read contract.
class RampSource : public LSoundSourceBase {
public:
    RampSource() : LSoundSourceBase(8000, 1, LSAMPLE_FULL_SCALE) {}
    void Read(int32_t* buf, int32_t n) override {
        for (int32_t i = 0; i < n; ++i, ++pos_) buf[i] = (pos_ >= 0 && pos_ < 1000) ? pos_ + 1 : 0;
    }
    int32_t GetPosition() override { return pos_; }
    int32_t GetEndSample() override { return 1000; }
    void Seek(int32_t f) override { pos_ = f; }
    static inline int alive = 0;
    ~RampSource() override { --alive; }

private:
    int32_t pos_ = 0;
};

TEST(SoundBase, InvalidConstructionRecordsError) {
    LSRCNull ok(0);
    EXPECT_EQ(ok.GetSampleRate(), 11025);
    EXPECT_EQ(ok.GetPeak(), 0x200000);
    struct S : LSoundSourceBase {
        S(int32_t r, int c) : LSoundSourceBase(r, c, 0) {}
        void Read(int32_t*, int32_t) override {}
        int32_t GetPosition() override { return 0; }
        int32_t GetEndSample() override { return 0; }
    };
    S a(0, 2);
    EXPECT_EQ(a.GetSampleRate(), 44100);
    EXPECT_EQ(a.GetError(), LSRC_ERR_INVALID);
    S b(8000, 0);
    EXPECT_EQ(b.GetChannels(), 1);
    EXPECT_EQ(b.GetError(), LSRC_ERR_INVALID);
}

TEST(SoundBase, ReadPastEndAndBeforeStartGivesZeros) {
    LSourceRef src(new RampSource);
    std::vector<int32_t> buf(8192);
    src->Seek(900);
    src->Read(buf.data(), 8192);
    EXPECT_EQ(buf[99], 1000);
    EXPECT_EQ(buf[100], 0);
    EXPECT_EQ(src->GetPosition(), 1000 + 8092);
    src->Seek(-31);
    src->Read(buf.data(), 40);
    EXPECT_EQ(buf[30], 0);
    EXPECT_EQ(buf[31], 1);
    EXPECT_EQ(buf[39], 9);
}

TEST(SoundBase, CountedReferencesFreeWithLastHolder) {
    RampSource::alive = 1;
    {
        LSourceRef a(new RampSource);
        LSourceRef b = a;
        EXPECT_EQ(a->RefCount(), 2);
        a.reset();
        EXPECT_EQ(RampSource::alive, 1);
    }
    EXPECT_EQ(RampSource::alive, 0);
}

TEST(SoundBase, SampleScaleRoundTrips) {
    EXPECT_EQ(LSampleFrom16(-32768), -524288);
    EXPECT_EQ(LSampleTo16(-524288), -32768);
    EXPECT_EQ(LSampleTo16(524279), 32767);
    EXPECT_EQ(LSampleTo16(524280), -32768);  // writers do not saturate
    EXPECT_EQ(LSampleFromU8(0), -524288);
    EXPECT_EQ(LSampleFromU8(255), 520192);
    EXPECT_EQ(LSampleToU8(-524288), 0);
    EXPECT_EQ(LSampleToU8(520192), 255);
    EXPECT_EQ(LSoundTimeMs(44100 * 3 + 441, 44100), 3010);
    EXPECT_EQ(LSoundTimeMs(100, 0), 0);
}

}  // namespace
