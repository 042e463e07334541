// Encoder command lines built from the settings records, and command-line splitting.
#include <gtest/gtest.h>

#include "external/encoders.h"
#include "external/process.h"

namespace {

constexpr const char* kRaw = " -r -s ";

std::string Mp3(const LMP3EncodeSettings& s, int c, int32_t r, int32_t* rate = nullptr,
                int* channels = nullptr) {
    LEncoderCommand cmd =
        LMP3EncodePipe::CommandLine("C:\\enc\\lame.exe", "D:\\out put.mp3", s, c, r);
    if (rate) *rate = cmd.sampleRate;
    if (channels) *channels = cmd.channels;
    return cmd.commandLine;
}

std::string Tail(const char* rate) {
    return std::string(kRaw) + rate + " -S - \"D:\\out put.mp3\"";
}

}  // namespace

TEST(Mp3CommandLine, ExamplesAndModes) {
    LMP3EncodeSettings s;  // CBR 128, high quality, joint
    int32_t rate;
    int channels;
    EXPECT_EQ(Mp3(s, 2, 44100, &rate, &channels),
              "\"C:\\enc\\lame.exe\" -m j -b 128 -h" + Tail("44.100"));
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);

    // VBR 32..192 with 22050 Hz mono: top above 160 below 32000 Hz encodes at 44100.
    LMP3EncodeSettings vbr;
    vbr.constantBitRate = false;
    vbr.vbrMinBitRate = 32;
    vbr.vbrMaxBitRate = 192;
    EXPECT_EQ(Mp3(vbr, 1, 22050, &rate, &channels),
              "\"C:\\enc\\lame.exe\" -m m -v -b 32 -B 192 -V 4" + Tail("44.100"));
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 1);

    // CBR 16 with 44100 stereo: 22050 Hz mono, mode m, no down-mix option.
    LMP3EncodeSettings low;
    low.cbrBitRate = 16;
    low.highQuality = false;
    EXPECT_EQ(Mp3(low, 2, 44100, &rate, &channels),
              "\"C:\\enc\\lame.exe\" -m m -b 16" + Tail("22.050"));
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(channels, 1);

    // Mono mode with a stereo input down-mixes; a mode above 3 counts as joint.
    LMP3EncodeSettings mono;
    mono.channelMode = 3;
    mono.errorProtection = true;
    EXPECT_EQ(Mp3(mono, 2, 44100, nullptr, &channels),
              "\"C:\\enc\\lame.exe\" -a -m m -p -b 128 -h" + Tail("44.100"));
    EXPECT_EQ(channels, 2);
    mono.channelMode = 9;
    mono.errorProtection = false;
    EXPECT_EQ(Mp3(mono, 2, 48000), "\"C:\\enc\\lame.exe\" -m j -b 128 -h" + Tail("48.000"));
    mono.channelMode = 0;
    EXPECT_EQ(Mp3(mono, 2, 32000), "\"C:\\enc\\lame.exe\" -m s -b 128 -h" + Tail("32.000"));
    mono.channelMode = 2;
    EXPECT_EQ(Mp3(mono, 1, 32000), "\"C:\\enc\\lame.exe\" -m m -b 128 -h" + Tail("32.000"));

    // Six channels in: the encoder is told stereo, never fed surround frames as stereo.
    EXPECT_EQ(Mp3(s, 6, 48000, nullptr, &channels),
              "\"C:\\enc\\lame.exe\" -m j -b 128 -h" + Tail("48.000"));
    EXPECT_EQ(channels, 2);
}

TEST(Mp3CommandLine, RateSnapping) {
    LMP3EncodeSettings s;
    s.cbrBitRate = 64;
    const struct {
        int32_t in, out;
    } cases[] = {{12000, 11025}, {46000, 44100}, {96000, 48000}, {44100, 44100}, {40000, 44100},
                 {25000, 32000}, {23000, 22050}, {17000, 22050}, {16000, 16000}, {9000, 11025},
                 {8000, 8000},   {6000, 8000},   {11025, 11025}, {24000, 24000}, {48000, 48000}};
    for (const auto& c : cases) {
        int32_t rate = 0;
        Mp3(s, 2, c.in, &rate);
        EXPECT_EQ(rate, c.out) << c.in;
    }
    // A low bitrate caps the rate at 22050 before snapping; a high one lifts low rates.
    s.cbrBitRate = 24;
    int32_t rate = 0;
    EXPECT_NE(Mp3(s, 2, 48000, &rate).find(" -s 22.050 "), std::string::npos);
    s.cbrBitRate = 192;
    EXPECT_NE(Mp3(s, 2, 8000, &rate).find(" -s 44.100 "), std::string::npos);
    EXPECT_NE(Mp3(s, 2, 32000, &rate).find(" -s 32.000 "), std::string::npos);
}

TEST(OggCommandLine, QualityBitrateLimitsAndDownmix) {
    LOggEncodeSettings s;  // quality 4, mono
    LEncoderCommand cmd = LOggEncodePipe::CommandLine("/usr/bin/oggenc", "/o/a b.ogg", s, 2, 44100);
    EXPECT_EQ(cmd.commandLine,
              "\"/usr/bin/oggenc\" -C 2 -R 44100 --downmix -q 4 -Q - -o \"/o/a b.ogg\"");
    EXPECT_EQ(cmd.channels, 2);
    EXPECT_EQ(cmd.sampleRate, 44100);

    s.quality = false;
    s.vbrMinBitRate = 96;
    s.vbrMaxBitRate = 128;
    s.stripComments = true;
    cmd = LOggEncodePipe::CommandLine("oggenc", "o.ogg", s, 1, 8000);
    EXPECT_EQ(cmd.commandLine,
              "\"oggenc\" -C 1 -R 8000 -m 36 -M 36 --discard-comments -Q - -o \"o.ogg\"");

    // Stereo kept: the limit counts both channels; Channels 0 counts as mono.
    s.stripComments = false;
    s.channels = 2;
    s.vbrMaxBitRate = 500;
    cmd = LOggEncodePipe::CommandLine("oggenc", "o.ogg", s, 2, 22050);
    EXPECT_EQ(cmd.commandLine, "\"oggenc\" -C 2 -R 22050 -m 96 -M 198 -Q - -o \"o.ogg\"");
    s.channels = 0;
    cmd = LOggEncodePipe::CommandLine("oggenc", "o.ogg", s, 2, 22050);
    EXPECT_EQ(cmd.commandLine, "\"oggenc\" -C 2 -R 22050 --downmix -m 96 -M 99 -Q - -o \"o.ogg\"");
}

TEST(AACCommandLine, AverageBitrateLimitAndOptions) {
    LAACEncodeSettings s;
    s.averageBitRate = true;
    s.abrBitRate = 320;
    LEncoderCommand cmd = LAACEncodePipe::CommandLine("faac", "o.m4a", s, 1, 16000);
    EXPECT_EQ(cmd.commandLine, "\"faac\" -C 1 -R 16000 -b 72 -X - -o \"o.m4a\"");
    s.averageBitRate = false;
    s.forceMPEG2 = true;
    s.disableTNS = true;
    cmd = LAACEncodePipe::CommandLine("faac", "o.m4a", s, 2, 44100);
    EXPECT_EQ(cmd.commandLine,
              "\"faac\" -C 2 -R 44100 -q 100 --mpeg-vers 2 --no-tns -X - -o \"o.m4a\"");
}

TEST(FlacCommandLine, OwnRateAndChannels) {
    LFlacEncodeSettings s;
    s.channels = 0;
    LEncoderCommand cmd = LFlacEncodePipe::CommandLine("flac", "o.flac", s);
    EXPECT_EQ(cmd.commandLine,
              "\"flac\" --channels=1 --sample-rate=44100 --compression-level-4 --endian=little "
              "--bps=16 --sign=signed -f - -o \"o.flac\"");
    EXPECT_EQ(cmd.channels, 1);
    EXPECT_EQ(cmd.sampleRate, 44100);
    s.channels = 6;
    s.sampleRate = 96000;
    s.compression = 8;
    cmd = LFlacEncodePipe::CommandLine("flac", "o.flac", s);
    EXPECT_NE(cmd.commandLine.find("--channels=2 --sample-rate=96000 --compression-level-8 "),
              std::string::npos);
    EXPECT_EQ(cmd.channels, 2);
    EXPECT_EQ(cmd.sampleRate, 96000);
}

TEST(BitRateLimit, LeftToRightInDouble) {
    // Other evaluation orders give 26 here.
    EXPECT_EQ(LEncoderBitRateLimit(1, 6000), 27);
    EXPECT_EQ(LEncoderBitRateLimit(1, 8000), 36);
    EXPECT_EQ(LEncoderBitRateLimit(2, 44100), 396);
    EXPECT_EQ(LEncoderBitRateLimit(1, 16000), 72);
}

TEST(SplitCommandLine, QuotesAndBlanks) {
    auto a = LSplitCommandLine("\"/a b/dec\" -d  -o \"/t/x y.wav\" \"in.aac\"");
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[0], "/a b/dec");
    EXPECT_EQ(a[1], "-d");
    EXPECT_EQ(a[2], "-o");
    EXPECT_EQ(a[3], "/t/x y.wav");
    EXPECT_EQ(a[4], "in.aac");
    EXPECT_TRUE(LSplitCommandLine("   ").empty());
    EXPECT_TRUE(LSplitCommandLine(nullptr).empty());
    a = LSplitCommandLine("x \"\" \"unterminated arg");
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1], "");
    EXPECT_EQ(a[2], "unterminated arg");
    // Quoting gives every name back whole, quotes and backslashes included; plain Windows
    // paths are only wrapped, so their command lines stay as they are.
    EXPECT_EQ(LQuotedArgument("C:\\Program Files\\lame.exe"), "\"C:\\Program Files\\lame.exe\"");
    for (const char* name : {"/m/a\"b.ogg", "/m/x\\\"y\\", "/m/$(touch z) 'q'.wav", "\\", ""}) {
        a = LSplitCommandLine(("\"/dec\" -o " + LQuotedArgument(name) + " next").c_str());
        ASSERT_EQ(a.size(), 4u) << name;
        EXPECT_EQ(a[2], name);
        EXPECT_EQ(a[3], "next");
    }
}
