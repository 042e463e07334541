// DCT containers of versions 0 to 3 built from the layout: results, messages and cancel.
#include "formats/dct.h"

#include <gtest/gtest.h>

#include <cstring>
#ifndef _WIN32
#include <fcntl.h>
#endif
#include <string>
#include <vector>

#include "convert/gensource.h"
#include "tests/support/testutil.h"

using namespace testutil;

namespace {

// A progress surface that records what the process shows and cancels on request.
class Recorder : public LProgressDialog {
  public:
    Recorder() : LProgressDialog("Loading DCT file") {}
    bool PumpMessages() override { return ++pumps > cancelAfter; }
    void SetText(const char* text, int line) override {
        if (line == 0) line0 = text;
    }
    void SetProgress(double f) override { lastProgress = f; }
    void ShowError(const char* text) override { errors.push_back(text); }
    int pumps = 0, cancelAfter = 1 << 30;
    double lastProgress = -1;
    std::string line0;
    std::vector<std::string> errors;

  protected:
    bool ProcessBody() override { return true; }
};

struct Container {
    uint16_t version = 1;
    uint32_t flags = 0;
    std::vector<uint8_t> flat;  // version 3
    std::vector<uint8_t> notes;
    std::vector<std::vector<uint8_t>> attachments;
    uint8_t channels = 1;
    std::vector<uint8_t> sound;
    int64_t soundSizeDelta = 0;  // declared minus real
    int64_t lengthDelta = 0;
    int64_t notesDelta = 0;
    int64_t attachmentDelta = 0;
    int64_t flatDelta = 0;
};

void Put(std::vector<uint8_t>& v, uint64_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<uint8_t> Build(const Container& c) {
    std::vector<uint8_t> v;
    Put(v, c.version, 2);
    Put(v, 0, 4);  // length, fixed below
    Put(v, c.flags, 4);
    Put(v, 0x1122334455667788ull, 8);
    if (c.version == 3) {
        Put(v, uint32_t(int64_t(c.flat.size()) + c.flatDelta), 4);
        v.insert(v.end(), c.flat.begin(), c.flat.end());
    }
    Put(v, 0xAABBCCDD, 4);
    for (int i = 0; i < 11; ++i) {
        const std::string s = "field " + std::to_string(i);
        v.push_back(uint8_t(s.size()));
        v.insert(v.end(), s.begin(), s.end());
    }
    v.push_back(0);
    Put(v, uint32_t(int64_t(c.notes.size()) + c.notesDelta), 4);
    v.insert(v.end(), c.notes.begin(), c.notes.end());
    if (c.flags & 4) {
        v.push_back(uint8_t(c.attachments.size()));
        for (const auto& a : c.attachments) {
            v.push_back(4);
            v.insert(v.end(), {'a', '.', 'd', 'c'});
            Put(v, uint32_t(int64_t(a.size()) + c.attachmentDelta), 4);
            v.insert(v.end(), a.begin(), a.end());
        }
    }
    if (c.version >= 1) {
        v.push_back(c.channels);
        Put(v, uint32_t(int64_t(c.sound.size()) + c.soundSizeDelta), 4);
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

struct Outcome {
    int status;
    std::vector<std::string> errors;
    std::vector<uint8_t> out;
    bool outExists;
};

Outcome RunDct(const std::string& dir, const std::vector<uint8_t>& bytes,
               int cancelAfter = 1 << 30) {
    const std::string in = dir + "/in.dct", out = dir + "/Temp1.wav";
    std::remove(out.c_str());
    EXPECT_TRUE(WriteFileBytes(in, bytes));
    LDCTDecode rec{};
    std::snprintf(rec.szDCTInFilePath, sizeof rec.szDCTInFilePath, "%s", in.c_str());
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s", out.c_str());
    Recorder dlg;
    dlg.cancelAfter = cancelAfter;
    Outcome o;
    o.status = Process(&dlg, &rec);
    o.errors = dlg.errors;
    FILE* f = std::fopen(out.c_str(), "rb");
    o.outExists = f != nullptr;
    if (f) std::fclose(f);
    o.out = ReadFileBytes(out);
    EXPECT_EQ(ReadFileBytes(in), bytes) << "the container must stay untouched";
    EXPECT_EQ(dlg.line0, "Loading DCT File");
    return o;
}

TEST(Dct, VersionsCopyTheSoundData) {
    const std::string dir = ScratchDir();
    Container v0;
    v0.version = 0;
    v0.notes = {'h', 'i'};
    v0.sound = Sound(1000);
    auto o = RunDct(dir, Build(v0));
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.errors.empty());
    EXPECT_EQ(o.out, v0.sound);

    Container v1;  // the encrypted flag means nothing before version 2
    v1.flags = 2 | 4;
    v1.attachments = {Sound(10), {}, Sound(300)};
    v1.sound = Sound(70000);
    o = RunDct(dir, Build(v1));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, v1.sound);

    Container v2;
    v2.version = 2;
    v2.channels = 2;
    v2.notes = Sound(5000);
    v2.sound = Sound(65536);  // two full chunks, then an empty read
    o = RunDct(dir, Build(v2));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, v2.sound);

    Container v3;
    v3.version = 3;
    v3.flat = Sound(777);
    v3.flags = 4;
    v3.attachments = {Sound(5)};
    v3.sound = Sound(32768);
    o = RunDct(dir, Build(v3));
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, v3.sound);

    // A declared size beyond the data gives the shorter file; a smaller one is honoured.
    Container shortData;
    shortData.sound = Sound(100);
    shortData.soundSizeDelta = 1000;
    EXPECT_EQ(RunDct(dir, Build(shortData)).out, shortData.sound);
    shortData.soundSizeDelta = -40;
    EXPECT_EQ(RunDct(dir, Build(shortData)).out, Sound(60));
}

TEST(Dct, RefusalsShowTheirMessages) {
    const std::string dir = ScratchDir();
    auto expectRefused = [&](const Container& c, const std::string& message) {
        const Outcome o = RunDct(dir, Build(c));
        EXPECT_EQ(o.status, 2);
        ASSERT_EQ(o.errors.size(), 1u);
        EXPECT_EQ(o.errors[0].substr(0, message.size()), message);
        EXPECT_FALSE(o.outExists);
    };
    Container c;
    c.sound = Sound(100);
    c.version = 4;
    expectRefused(c, "DCT File load error");
    c.version = 1;
    c.lengthDelta = 1;
    expectRefused(c, "DCT File is corrupt");
    c.lengthDelta = 0;
    c.version = 2;
    c.flags = 2;
    expectRefused(c, "You cannot load encrypted files with this software. Download Scrivane from ");
    EXPECT_NE(RunDct(dir, Build(c)).errors[0].find(" to open encrypted files."), std::string::npos);
    c.version = 3;
    c.flags = 0;
    c.flatDelta = 100000;
    expectRefused(c, "DCT File is corrupt");
    c.flatDelta = 0;
    c.notesDelta = 100000;
    expectRefused(c, "Unable to load dct file because of file corruption (notes error).");
    c.notesDelta = 0;
    c.flags = 4;
    c.attachments = {Sound(3)};
    c.attachmentDelta = 100000;
    expectRefused(c, "Unable to load dct file because of file corruption (attachment too large).");
    c.attachmentDelta = 0;
    c.channels = 0;
    expectRefused(c,
                  "Unable to load dct file because of file corruption (zero channels error). "
                  "Please ask the dictator to send it again.");
    // A header that ends early.
    std::vector<uint8_t> cut = Build(Container{});
    cut.resize(30);
    for (int i = 0; i < 4; ++i) cut[size_t(2 + i)] = uint8_t(30 >> (8 * i));
    const Outcome o = RunDct(dir, cut);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.errors.size(), 1u);

    // A missing container: failure without a message (the caller reports it).
    LDCTDecode rec{};
    std::snprintf(rec.szDCTInFilePath, sizeof rec.szDCTInFilePath, "%s/none.dct", dir.c_str());
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s/o.wav", dir.c_str());
    Recorder dlg;
    EXPECT_EQ(Process(&dlg, &rec), 2);
    EXPECT_TRUE(dlg.errors.empty());
}

TEST(Dct, NotesAsLongAsTheFileAndCancel) {
    const std::string dir = ScratchDir();
    // Notes length equal to the file length passes the check and leaves nothing to copy.
    Container eq;
    eq.version = 0;
    std::vector<uint8_t> bytes = Build(eq);
    const uint32_t len = uint32_t(bytes.size());
    const size_t notesAt = bytes.size() - 4;
    for (int i = 0; i < 4; ++i) bytes[notesAt + size_t(i)] = uint8_t(len >> (8 * i));
    Outcome o = RunDct(dir, bytes);
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(o.out.empty());

    // Cancelling in the middle of the copy: status 1, a partial file, no message.
    Container big;
    big.sound = Sound(200000);
    o = RunDct(dir, Build(big), 3);
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(o.errors.empty());
    EXPECT_EQ(o.out.size(), 3u * 32768u);
}

#ifndef _WIN32
// The copy-out meets a temporary file that cannot be created, and a read or write failure in
// the middle of the copy: each fails with a message, never as success.
TEST(Dct, CopyFailuresFailWithAMessage) {
    const std::string dir = ScratchDir();
    Container big;
    big.sound = Sound(200000);
    WriteFileBytes(dir + "/in.dct", Build(big));
    struct Case {
        const char* out;
        const char* spoil;  // the file whose descriptor fails at the second block
        int flags;
        const char* message;
    };
    for (Case c : {Case{"/none/Temp1.wav", nullptr, 0, "Unable to create the temporary file"},
                   Case{"/Temp1.wav", "/in.dct", O_WRONLY, "Unable to read the DCT file"},
                   Case{"/Temp1.wav", "/Temp1.wav", O_RDONLY, "Unable to write the temporary"}}) {
        class Spoiler : public Recorder {
          public:
            bool PumpMessages() override {
                if (++pumps == 2 && !spoil.empty()) {
                    EXPECT_EQ(SpoilOpenFile(spoil, flags), 1);
                }
                return false;
            }
            std::string spoil;
            int flags = 0;
        } dlg;
        if (c.spoil) dlg.spoil = dir + c.spoil, dlg.flags = c.flags;
        LDCTDecode rec{};
        std::snprintf(rec.szDCTInFilePath, LMAX_PATH, "%s/in.dct", dir.c_str());
        std::snprintf(rec.szWavOutFilePath, LMAX_PATH, "%s%s", dir.c_str(), c.out);
        EXPECT_EQ(Process(&dlg, &rec), LPROCESS_FAILED) << c.message;
        ASSERT_EQ(dlg.errors.size(), 1u) << c.message;
        EXPECT_EQ(dlg.errors[0].rfind(c.message, 0), 0u) << dlg.errors[0];
    }
}
#endif

}  // namespace

namespace {

// A dictation file opened by extension: the container's sound data (here a WAV) is copied out
// to a temporary slot and read back as the input.
TEST(Dct, OpensAsAnInputThroughTheTable) {
    const std::string dir = ScratchDir();
    setenv("TAMBER_HOME", (dir + "/home").c_str(), 1);
    const std::string wav = dir + "/inner.wav";
    const auto samples = Sine(8000, 1, 4000, 440, 9000);
    ASSERT_TRUE(WriteWav16(wav, 8000, 1, samples));
    Container c;
    c.version = 2;
    c.sound = ReadFileBytes(wav);
    const std::string in = dir + "/memo.dct";
    ASSERT_TRUE(WriteFileBytes(in, Build(c)));

    Recorder dlg;
    LSourceRef src;
    ASSERT_EQ(LGenSourceOpen(src, in.c_str(), &dlg), LPROCESS_OK);
    ASSERT_EQ(src->GetError(), 0);
    EXPECT_EQ(src->GetSampleRate(), 8000);
    EXPECT_EQ(src->GetEndSample(), 4000);
    std::vector<int32_t> got(4000);
    src->Read(got.data(), 4000);
    for (size_t i = 0; i < got.size(); i += 97) EXPECT_EQ(got[i], samples[i] * 16) << i;
    EXPECT_EQ(ReadFileBytes(in), Build(c)) << "the container must stay untouched";

    // Not a container at all: one message, no source.
    std::vector<uint8_t> junk(3000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 131 + 7);
    ASSERT_TRUE(WriteFileBytes(in, junk));
    Recorder bad;
    EXPECT_NE(LGenSourceOpen(src, in.c_str(), &bad), LPROCESS_OK);
    EXPECT_EQ(bad.errors.size(), 1u);
}

}  // namespace
