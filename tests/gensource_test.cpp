// The input and output tables: extensions in any case, decoder rows and their messages, the
// temporary slots, and the WAV format file.
#include "convert/gensource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "store/settings.h"
#include "convert/decoders.h"
#include "convert/gensink.h"
#include "core/transfer.h"
#include "formats/aiff.h"
#include "support/file.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace {

// Records the errors the opener shows; never cancels.
using Dialog = testutil::FakeProgress;

class Tables : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testutil::ScratchDir();
        setenv("TAMBER_HOME", (dir_ + "/home").c_str(), 1);
    }
    std::string Wav(const std::string& name, int32_t rate = 8000, int channels = 1) {
        std::string p = dir_ + "/" + name;
        testutil::WriteWav16(p, rate, channels,
                             testutil::Sine(rate, channels, rate / 4, 440, 9000));
        return p;
    }
    std::string dir_;
};

TEST_F(Tables, ReadersByExtensionInAnyCase) {
    Dialog dlg;
    LSourceRef src;
    EXPECT_EQ(LGenSourceOpen(src, Wav("SONG.WAV", 22050, 2).c_str(), &dlg), LPROCESS_OK);
    EXPECT_EQ(src->GetSampleRate(), 22050);
    EXPECT_EQ(src->GetChannels(), 2);
    // A ".raw" file opens with the stored settings, without asking.
    SettingsWriteInt("RawAudio", "SampleRate", 11025);
    SettingsWriteInt("RawAudio", "Channels", 2);
    std::string raw = dir_ + "/x.RAW";
    testutil::WriteFileBytes(raw, std::vector<uint8_t>(4000, 0));
    EXPECT_EQ(LGenSourceOpen(src, raw.c_str(), &dlg), LPROCESS_OK);
    EXPECT_EQ(src->GetSampleRate(), 11025);
    EXPECT_EQ(src->GetChannels(), 2);
    EXPECT_TRUE(dlg.errors.empty());
    // Messages by reader.
    const std::string missing = dir_ + "/none";
    for (const char* ext : {".mp3", ".aiff", ".au", ".gsm", ".vox"}) {
        Dialog d;
        EXPECT_EQ(LGenSourceOpen(src, (missing + ext).c_str(), &d), LPROCESS_FAILED) << ext;
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0], "Cannot open the file \"" + missing + ext +
                                   "\". Check it exists and you have read access.");
        EXPECT_NE(src->GetError(), 0);
    }
    // ".aifc" is read by the AIFF reader; a plain AIFF it refuses keeps the "corrupt" text, an
    // AIFF-C compression type it does not read is no damaged file.
    const std::string aifc = dir_ + "/x.AIFC";
    LAifFile::OpenSink(aifc.c_str(), 8000, 1)->Write(std::vector<int32_t>(100).data(), 100);
    EXPECT_EQ(LGenSourceOpen(src, aifc.c_str(), &dlg), LPROCESS_OK);
    EXPECT_EQ(src->GetEndSample(), 100);
    auto bytes = testutil::ReadFileBytes(aifc);
    bytes[27] = 24;
    testutil::WriteFileBytes(aifc, bytes);
    Dialog u;
    EXPECT_EQ(LGenSourceOpen(src, aifc.c_str(), &u), LPROCESS_FAILED);
    EXPECT_EQ(u.errors.at(0), "Cannot open the file \"" + aifc + "\" because it is corrupt.");
    bytes = testutil::ReadFileBytes(aifc);
    std::memcpy(bytes.data() + 8, "AIFC", 4);
    bytes[19] = 22;  // COMM grows by the compression type
    bytes.insert(bytes.begin() + 38, {'i', 'm', 'a', '4'});
    testutil::WriteFileBytes(aifc, bytes);
    Dialog c;
    EXPECT_EQ(LGenSourceOpen(src, aifc.c_str(), &c), LPROCESS_FAILED);
    EXPECT_EQ(
        c.errors.at(0).rfind("Cannot open the file \"" + aifc + "\". This means that either", 0),
        0u);
    std::string junk = dir_ + "/junk.mp3";
    testutil::WriteFileBytes(junk, std::vector<uint8_t>(3000, 0x11));
    Dialog d;
    EXPECT_EQ(LGenSourceOpen(src, junk.c_str(), &d), LPROCESS_FAILED);
    ASSERT_EQ(d.errors.size(), 1u);
    EXPECT_EQ(d.errors[0],
              "Cannot open the file \"" + junk +
                  "\". It is possibly either corrupt or not a true layer-3 MPEG file.");
}

TEST_F(Tables, DecoderRowsAndTheirMessages) {
    EXPECT_STREQ(LGenFindDecoder(".OGG").title, "Loading OGG file");
    EXPECT_STREQ(LGenFindDecoder(".m4a").title, "Loading AAC file");
    EXPECT_STREQ(LGenFindDecoder(".rmj").title, "Loading RealAudio file");
    EXPECT_STREQ(LGenFindDecoder(".rcd").title, "Loading Record file");
    EXPECT_STREQ(LGenFindDecoder(".gz").title, "Loading with DirectX");
    EXPECT_STREQ(LGenFindDecoder("").title, "Loading with DirectX");

    LSourceRef src;
    {  // A name without a dot, missing: the "Check it exists" text.
        Dialog d;
        EXPECT_EQ(LGenSourceOpen(src, (dir_ + "/nodot").c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_NE(d.errors[0].find("Check it exists"), std::string::npos);
    }
    {  // Existing but undecodable: the unsupported-format text.
        std::string p = dir_ + "/archive.tar.gz";
        testutil::WriteFileBytes(p, {1, 2, 3});
        Dialog d;
        EXPECT_EQ(LGenSourceOpen(src, p.c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].rfind("Cannot open the file \"" + p +
                                        "\". This means that either the "
                                        "file format is not supported by this program or that a "
                                        "required codec or plugin is not installed. Please see ",
                                    0),
                  0u);
        EXPECT_NE(d.errors[0].find(" for more information."), std::string::npos);
    }
    {  // Sony files: the codec text.
        std::string p = dir_ + "/memo.dvf";
        testutil::WriteFileBytes(p, {1, 2, 3});
        Dialog d;
        EXPECT_EQ(LGenSourceOpen(src, p.c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].rfind(
                      "Cannot open the file \"" + p +
                          "\" because the codec is not "
                          "installed. Please download the Sony codec following the links from ",
                      0),
                  0u);
    }
    {  // WMA: the DRM text.
        Dialog d;
        EXPECT_EQ(LGenSourceOpen(src, (dir_ + "/x.wma").c_str(), &d), LPROCESS_FAILED);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].rfind("Cannot open file \"" + dir_ + "/x.wma\". It is possible", 0),
                  0u);
    }
    // Interactive: two failures in one batch show one message and clear the flag.
    uint8_t once = 1;
    LGenSourceInteraction ui{&once, nullptr};
    EXPECT_EQ(LGenSourceOpen(src, (dir_ + "/a.xyz").c_str(), &ui), LPROCESS_FAILED);
    EXPECT_EQ(once, 0);
    EXPECT_EQ(LGenSourceOpen(src, (dir_ + "/b.xyz").c_str(), &ui), LPROCESS_FAILED);
    EXPECT_TRUE(src);
}

TEST_F(Tables, DecodedInputsUseFreeTemporarySlots) {
    if (!testutil::HaveTool("oggdec")) GTEST_SKIP() << "no Ogg decoder";
    std::string a = dir_ + "/a.ogg", b = dir_ + "/b.ogg";
    ASSERT_EQ(testutil::Run("sox -n -r 8000 -c 1 '" + a + "' synth 0.3 sine 300 2>/dev/null"), 0);
    fs::copy_file(a, b);
    char temp[LMAX_PATH];
    LFile::GetTempFolder(temp);
    const std::string t1 = std::string(temp) + "/Temp1.wav", t2 = std::string(temp) + "/Temp2.wav";
    Dialog d;
    LSourceRef first, second;
    ASSERT_EQ(LGenSourceOpen(first, a.c_str(), &d), LPROCESS_OK);
    EXPECT_EQ(first->GetError(), 0);
    EXPECT_TRUE(fs::exists(t1));
    EXPECT_FALSE(fs::exists(std::string(temp) + "/Temp1.lck"));     // the lock went with the open
    ASSERT_EQ(LGenSourceOpen(second, b.c_str(), &d), LPROCESS_OK);  // slot 1 is still held open
    EXPECT_TRUE(fs::exists(t2));
    first.reset();
    second.reset();
    LSourceRef third;
    ASSERT_EQ(LGenSourceOpen(third, a.c_str(), &d), LPROCESS_OK);  // slot 1 is free again
    EXPECT_EQ(third->GetEndSample(), 2400);
    // A missing Ogg file: the decoder fails, or its empty output surfaces as a source error.
    Dialog m;
    int status = LGenSourceOpen(third, (dir_ + "/missing.ogg").c_str(), &m);
    EXPECT_TRUE(status == LPROCESS_FAILED || third->GetError() != 0);
    // Without a temporary folder of its own no slot can be claimed, and the message says so.
    third.reset();
    fs::remove_all(temp);
    fs::create_directory_symlink(dir_, temp);
    Dialog n;
    EXPECT_EQ(LGenSourceOpen(third, a.c_str(), &n), LPROCESS_FAILED);
    EXPECT_EQ(n.errors, std::vector<std::string>{"Cannot open the file \"" + a +
                                                 "\" because no private temporary folder could "
                                                 "be set up for decoding it."});
}

TEST_F(Tables, SinksByExtension) {
    EXPECT_TRUE(LGenSinkIsSupported(".WAV", nullptr));
    EXPECT_TRUE(LGenSinkIsSupported(".aif", nullptr));
    EXPECT_FALSE(LGenSinkIsSupported(".xyz", nullptr));
    EXPECT_EQ(LGenSinkCheckSettings(".gsm", nullptr, 0, 0), 1);
    EXPECT_EQ(LGenSinkCheckSettings(".xyz", nullptr, 0, 0), 0);
    LSinkRef sink;
    LGenSinkOpenSink(sink, (dir_ + "/o.xyz").c_str(), 8000, 1);
    EXPECT_FALSE(sink);
    LGenSinkOpenSink(sink, (dir_ + "/o.GSM").c_str(), 44100, 2);  // the format fixes both
    ASSERT_TRUE(sink);
    EXPECT_EQ(sink->GetSampleRate(), 8000);
    EXPECT_EQ(sink->GetChannels(), 1);
    sink.reset();

    // An A-law "WavCodec.wff" makes every WAV output A-law; a short one keeps the default's rest.
    char wff[LMAX_PATH];
    LGenWavFormatFilePath(wff);
    std::vector<uint8_t> alaw = {6, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0, 0, 0};
    ASSERT_TRUE(testutil::WriteFileBytes(wff, alaw));
    Dialog d;
    LSourceRef src;
    ASSERT_EQ(LGenSourceOpen(src, Wav("in.wav", 44100, 2).c_str(), &d), LPROCESS_OK);
    std::string out = dir_ + "/alaw.wav";
    LGenSinkOpenSink(sink, out.c_str(), 44100, 2);
    ASSERT_TRUE(sink);
    LPRSourceToSink t;
    t.source = src;
    t.sink = sink;
    EXPECT_EQ(Process(&d, &t), LPROCESS_OK);
    t.sink.reset();
    sink.reset();
#ifndef _WIN32  // the peer is a host program
    EXPECT_NE(testutil::RunOutput("soxi -e '" + out + "'").find("A-law"), std::string::npos);
    EXPECT_EQ(testutil::RunOutput("soxi -r '" + out + "'"), "8000\n");
    EXPECT_EQ(testutil::RunOutput("soxi -c '" + out + "'"), "1\n");
#endif
    testutil::WriteFileBytes(wff, {1, 0});  // only the tag: rate and channels from the source
    LGenSinkOpenSink(sink, (dir_ + "/short.wav").c_str(), 22050, 2);
    ASSERT_TRUE(sink);
    EXPECT_EQ(sink->GetSampleRate(), 22050);
    EXPECT_EQ(sink->GetChannels(), 2);
}

}  // namespace
