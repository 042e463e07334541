// DCT containers of versions 0 to 3 built from the layout: results, messages and cancel.
#include "formats/dct.h"

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "convert/gensource.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

struct Container {
    uint16_t version = 1;
    uint32_t flags = 0;
    std::vector<uint8_t> flat{};  // version 3
    std::vector<uint8_t> notes{};
    std::vector<std::vector<uint8_t>> attachments{};
    uint8_t channels = 1;
    std::vector<uint8_t> sound{};
    // Declared minus real sizes.
    int64_t soundSizeDelta = 0, lengthDelta = 0, notesDelta = 0, attachmentDelta = 0, flatDelta = 0;
};

std::vector<uint8_t> Build(const Container& c) {
    std::vector<uint8_t> v;
    PutLE(v, c.version, 2);
    PutLE(v, 0, 4);  // length, fixed below
    PutLE(v, c.flags, 4);
    PutLE(v, 0x1122334455667788ull, 8);
    if (c.version == 3) {
        PutLE(v, uint32_t(int64_t(c.flat.size()) + c.flatDelta), 4);
        v.insert(v.end(), c.flat.begin(), c.flat.end());
    }
    PutLE(v, 0xAABBCCDD, 4);
    for (int i = 0; i < 11; ++i) {
        const std::string s = "field " + std::to_string(i);
        v.push_back(uint8_t(s.size()));
        v.insert(v.end(), s.begin(), s.end());
    }
    v.push_back(0);
    PutLE(v, uint32_t(int64_t(c.notes.size()) + c.notesDelta), 4);
    v.insert(v.end(), c.notes.begin(), c.notes.end());
    if (c.flags & 4) {
        v.push_back(uint8_t(c.attachments.size()));
        for (const auto& a : c.attachments) {
            v.push_back(4);
            v.insert(v.end(), {'a', '.', 'd', 'c'});
            PutLE(v, uint32_t(int64_t(a.size()) + c.attachmentDelta), 4);
            v.insert(v.end(), a.begin(), a.end());
        }
    }
    if (c.version >= 1) {
        v.push_back(c.channels);
        PutLE(v, uint32_t(int64_t(c.sound.size()) + c.soundSizeDelta), 4);
    }
    v.insert(v.end(), c.sound.begin(), c.sound.end());
    const uint32_t length = uint32_t(int64_t(v.size()) + c.lengthDelta);
    for (int i = 0; i < 4; ++i) v[size_t(2 + i)] = uint8_t(length >> (8 * i));
    return v;
}

std::vector<uint8_t> Sound(size_t n) {
    std::vector<uint8_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = uint8_t(i * 31 + (i >> 8));
    return s;
}

LDCTDecode Rec(const std::string& in, const std::string& out) {
    LDCTDecode rec{};
    std::snprintf(rec.szDCTInFilePath, LMAX_PATH, "%s", in.c_str());
    std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s", out.c_str());
    return rec;
}

struct Outcome {
    int status;
    std::vector<std::string> errors;
    std::vector<uint8_t> out;
    bool outExists;
};

Outcome RunDct(const std::string& dir, const std::vector<uint8_t>& bytes, int cancelAfter = -1) {
    const std::string in = dir + "/in.dct", out = dir + "/Temp1.wav";
    std::remove(out.c_str());
    EXPECT_TRUE(WriteFileBytes(in, bytes));
    LDCTDecode rec = Rec(in, out);
    FakeProgress dlg;
    dlg.stopAfterPumps = cancelAfter;
    const int status = LDecodeDCT(&dlg, &rec);
    Outcome o{status, dlg.errors, ReadFileBytes(out), fs::exists(out)};
    EXPECT_EQ(ReadFileBytes(in), bytes) << "the container must stay untouched";
    EXPECT_EQ(dlg.lines[0], "Loading DCT File");
    return o;
}

// Versions 0 to 3 (1 ignores the encrypted flag; 2 ends on whole chunks), sizes off both ways,
// notes as long as the file (they pass the check and leave nothing to copy).
TEST(Dct, VersionsCopyTheSoundData) {
    const std::string dir = ScratchDir();
    const std::vector<Container> cases = {
        {.version = 0, .notes = {'h', 'i'}, .sound = Sound(1000)},
        {.flags = 2 | 4, .attachments = {Sound(10), {}, Sound(300)}, .sound = Sound(70000)},
        {.version = 2, .notes = Sound(5000), .channels = 2, .sound = Sound(65536)},
        {.version = 3, .flat = Sound(777), .sound = Sound(32768)},
        {.sound = Sound(100), .soundSizeDelta = 1000},
        {.sound = Sound(100), .soundSizeDelta = -40},
        {.version = 0, .notesDelta = int64_t(Build({.version = 0}).size())}};
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto want = i == 5 ? Sound(60) : cases[i].sound;
        const Outcome o = RunDct(dir, Build(cases[i]));
        EXPECT_EQ(std::tuple(o.status, o.errors.size(), o.out), std::tuple(0, 0u, want)) << i;
    }
}

TEST(Dct, RefusalsShowTheirMessages) {
    const std::string dir = ScratchDir(), corrupt = "DCT File is corrupt",
                      because = "Unable to load dct file because of file corruption ";
    const std::vector<uint8_t> s = Sound(100);
    std::vector<uint8_t> cut = Build(Container{});  // a header that ends early
    cut.resize(30);
    for (int i = 0; i < 4; ++i) cut[size_t(2 + i)] = uint8_t(30 >> (8 * i));
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
        {Build({.version = 4, .sound = s}), "DCT File load error"},
        {Build({.sound = s, .lengthDelta = 1}), corrupt},
        {Build({.version = 2, .flags = 2, .sound = s}),
         "You cannot load encrypted files with this software. Download Scrivane from " +
             std::string(kDCTTranscriptionPage) + " to open encrypted files."},
        {Build({.version = 3, .sound = s, .flatDelta = 100000}), corrupt},
        {Build({.sound = s, .notesDelta = 100000}), because + "(notes error)."},
        {Build({.flags = 4, .attachments = {Sound(3)}, .sound = s, .attachmentDelta = 100000}),
         because + "(attachment too large)."},
        {Build({.channels = 0, .sound = s}),
         because + "(zero channels error). Please ask the dictator to send it again."},
        {cut, ""},
    };
    for (const auto& [bytes, message] : cases) {
        const Outcome o = RunDct(dir, bytes);
        ASSERT_EQ(std::tuple(o.status, o.errors.size(), o.outExists), std::tuple(2, 1u, false))
            << message;
        EXPECT_EQ(o.errors[0].substr(0, message.size()), message);
    }

    // A missing container: failure without a message (the caller reports it).
    LDCTDecode rec = Rec(dir + "/none.dct", dir + "/o.wav");
    FakeProgress dlg;
    EXPECT_EQ(LDecodeDCT(&dlg, &rec), 2);
    EXPECT_TRUE(dlg.errors.empty());
}

// Cancelling in the middle of the copy: status 1, a partial file, no message.
TEST(Dct, CancelLeavesAPartialCopy) {
    const Outcome o = RunDct(ScratchDir(), Build({.sound = Sound(200000)}), 3);
    EXPECT_EQ(std::tuple(o.status, o.errors.size(), o.out.size()), std::tuple(1, 0u, 3u * 32768u));
}

#ifndef _WIN32
// No temporary file, a read or a write failing mid-copy: each fails with a message.
TEST(Dct, CopyFailuresFailWithAMessage) {
    const std::string dir = ScratchDir();
    WriteFileBytes(dir + "/in.dct", Build({.sound = Sound(200000)}));
    // The output, the file whose descriptor fails at the second block and how, the message.
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"/none/Temp1.wav", nullptr, 0, "Unable to create the temporary file"},
        {"/Temp1.wav", "/in.dct", O_WRONLY, "Unable to read the DCT file"},
        {"/Temp1.wav", "/Temp1.wav", O_RDONLY, "Unable to write the temporary"}};
    for (const auto& [out, spoil, flags, message] : cases) {
        struct Spoiler : FakeProgress {
            bool PumpMessages() override {
                EXPECT_TRUE(++pumps != 2 || spoil.empty() || SpoilOpenFile(spoil, flags) == 1);
                return false;
            }
            std::string spoil;
            int flags = 0;
        } dlg;
        if (spoil) dlg.spoil = dir + spoil, dlg.flags = flags;
        LDCTDecode rec = Rec(dir + "/in.dct", dir + out);
        EXPECT_EQ(LDecodeDCT(&dlg, &rec), LPROCESS_FAILED) << message;
        ASSERT_EQ(dlg.errors.size(), 1u) << message;
        EXPECT_EQ(dlg.errors[0].rfind(message, 0), 0u) << dlg.errors[0];
    }
}
#endif

// A dictation file opened by extension: its sound (a WAV) is the input; the container intact.
TEST(Dct, OpensAsAnInputThroughTheTable) {
    const std::string dir = ScratchHome(), wav = dir + "/inner.wav", in = dir + "/memo.DCT";
    const auto samples = Sine(8000, 1, 4000, 440, 9000);
    ASSERT_TRUE(WriteWav16(wav, 8000, 1, samples));
    const std::vector<uint8_t> dct = Build({.version = 2, .sound = ReadFileBytes(wav)});
    ASSERT_TRUE(WriteFileBytes(in, dct));
    FakeProgress dlg;
    LSourceRef src;
    ASSERT_EQ(LGenSourceOpen(src, in.c_str(), &dlg), LPROCESS_OK);
    EXPECT_EQ(ReadAll16(*src), samples);
    EXPECT_EQ(ReadFileBytes(in), dct);
}

}  // namespace
