// The built-in format writers and readers on Windows files: headers, truncation, sharing, DCT.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/dct.h"
#include "formats/gsm.h"
#include "formats/raw.h"
#include "tests/support/sourceutil.h"
#include "tests/support/testutil.h"

using namespace testutil;

namespace {

std::vector<int32_t> Signal(int channels, int frames) {
    std::vector<int32_t> v(size_t(frames) * size_t(channels));
    for (size_t i = 0; i < v.size(); ++i) v[i] = int32_t(20000 * std::sin(double(i) * 0.05)) * 16;
    return v;
}

std::vector<int16_t> As16(const std::vector<int32_t>& v) {
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = LSampleTo16(v[i]);
    return out;
}

TEST(FormatsWin32, HeaderedAndRawRoundTrips) {
    const std::string dir = ScratchDir();
    const auto sig = Signal(2, 10000);
    const std::string aif = dir + "\\a.aif", au = dir + "\\a.au";
    {
        LSinkRef a = LAifFile::OpenSink(aif.c_str(), 22050, 2);
        LSinkRef b = LAuFile::OpenSink(au.c_str(), 22050, 2);
        ASSERT_FALSE(a->IsUnusable());
        // While the sink writes, others may read the file.
        EXPECT_EQ(ReadFileBytes(aif).size(), 54u);
        a->Write(sig.data(), 10000);
        b->Write(sig.data(), 10000);
        a->Seek(9000);  // cut the last 1000 frames
    }
    EXPECT_EQ(ReadFileBytes(aif).size(), 54u + 9000u * 4u);
    LSourceRef ra = LAifFile::OpenSource(aif.c_str());
    ASSERT_EQ(ra->GetError(), 0);
    EXPECT_EQ(ra->GetSampleRate(), 22050);
    EXPECT_EQ(ReadAll16(*ra), As16(std::vector<int32_t>(sig.begin(), sig.begin() + 18000)));
    LSourceRef rb = LAuFile::OpenSource(au.c_str());
    ASSERT_EQ(rb->GetError(), 0);
    EXPECT_EQ(ReadAll16(*rb), As16(sig));

    for (int32_t codec = 1; codec <= 6; ++codec) {
        const std::string p = dir + "\\r" + std::to_string(codec) + ".raw";
        LSinkRef s = LRawFile::OpenSink(p.c_str(), 8000, 2, codec);
        s->Write(sig.data(), 10000);
        s.reset();
        LSourceRef r = LRawFile::OpenSource(p.c_str(), 8000, 2, codec);
        ASSERT_EQ(r->GetError(), 0);
        EXPECT_EQ(r->GetEndSample(), 10000) << codec;
        r->Seek(5000);
        EXPECT_EQ(ReadFrames(*r, 1).size(), 2u);
        EXPECT_EQ(r->GetPosition(), 5001);
    }
}

TEST(FormatsWin32, VoxAndGsmFiles) {
    const std::string dir = ScratchDir();
    const auto sig = Signal(1, 1601);
    {
        LSinkRef vox = LRawFile::OpenSink((dir + "\\a.vox").c_str(), 8000, 1, 0);
        vox->Write(sig.data(), 1601);
        LGSMFileSink gsm((dir + "\\a.gsm").c_str());
        gsm.Write(sig.data(), 1601);
    }
    EXPECT_EQ(ReadFileBytes(dir + "\\a.vox").size(), 800u);
    EXPECT_EQ(ReadFileBytes(dir + "\\a.gsm").size(), 11u * 33u);
    LSourceRef vox = LRawFile::OpenSource((dir + "\\a.vox").c_str(), 8000, 1, 0);
    EXPECT_EQ(vox->GetEndSample(), 1600);
    LGSMFileSource gsm((dir + "\\a.gsm").c_str());
    EXPECT_EQ(gsm.GetEndSample(), 1760);
    const auto decoded = ReadAll16(gsm);
    double e = 0;
    for (size_t i = 400; i < 1600; ++i) e += std::abs(decoded[i]);
    EXPECT_GT(e / 1200, 2000.0);  // speech-band tone survives the codec
}

class Quiet : public LProgressDialog {
  public:
    Quiet() : LProgressDialog("Loading DCT file") {}
    bool PumpMessages() override { return false; }
    void SetText(const char*, int) override {}
    void SetProgress(double) override {}
    void ShowError(const char* t) override { errors.push_back(t); }
    std::vector<std::string> errors;

  protected:
    bool ProcessBody() override { return true; }
};

TEST(FormatsWin32, DctCopyOut) {
    const std::string dir = ScratchDir();
    std::vector<uint8_t> c = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // version 0, length, flags
    c.resize(c.size() + 8 + 4);
    for (int i = 0; i < 11; ++i) c.push_back(0);
    c.push_back(0);
    c.insert(c.end(), {0, 0, 0, 0});  // no notes
    for (int i = 0; i < 40000; ++i) c.push_back(uint8_t(i));
    const uint32_t len = uint32_t(c.size());
    for (int i = 0; i < 4; ++i) c[size_t(2 + i)] = uint8_t(len >> (8 * i));
    ASSERT_TRUE(WriteFileBytes(dir + "\\in.dct", c));
    LDCTDecode rec{};
    std::snprintf(rec.szDCTInFilePath, sizeof rec.szDCTInFilePath, "%s\\in.dct", dir.c_str());
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s\\Temp1.wav", dir.c_str());
    Quiet dlg;
    EXPECT_EQ(Process(&dlg, &rec), 0);
    EXPECT_TRUE(dlg.errors.empty());
    EXPECT_EQ(ReadFileBytes(dir + "\\Temp1.wav"), std::vector<uint8_t>(c.end() - 40000, c.end()));
}

}  // namespace
