// Audio tags: ID3v1.1 fields and genres, WAV INFO/DISP slot reuse and appending.
#include "store/tags.h"

#include <algorithm>

#include "tests/support/kit.h"

namespace {

using testutil::ReadFileBytes;
using testutil::WriteFileBytes;

std::vector<uint8_t> Id3(const char* title, uint8_t b125, uint8_t b126, uint8_t genre) {
    std::vector<uint8_t> t(128, 0);
    std::memcpy(t.data(), "TAG", 3);
    std::memcpy(t.data() + 3, title, std::min<size_t>(30, std::strlen(title)));
    std::memcpy(t.data() + 93, "1999", 4);
    std::memset(t.data() + 97, 'c', 28);
    t[125] = b125;
    t[126] = b126;
    t[127] = genre;
    return t;
}

std::string WavWithTone(const std::string& dir, const char* name, int frames = 800) {
    std::string path = dir + "/" + name;
    testutil::WriteWav16(path, 8000, 1, testutil::Sine(8000, 1, frames, 440, 0.3));
    return path;
}

TEST(Tags, Id3ReadRules) {
    std::string dir = testutil::ScratchDir();
    std::string p = dir + "/a.mp3";
    std::vector<uint8_t> audio(300, 0xAB);
    auto file = audio;
    auto tag = Id3("0123456789012345678901234567890123", 0, 7, 200);  // 30-char title field
    file.insert(file.end(), tag.begin(), tag.end());
    WriteFileBytes(p, file);
    LAudioTagData t;
    ASSERT_TRUE(t.ReadTags(p.c_str()));
    EXPECT_STREQ(t.Get("TITLE"), "01234567890123456789012345678");  // 29 characters
    EXPECT_STREQ(t.Get("DATE"), "1999");
    EXPECT_STREQ(t.Get("TRACKNUMBER"), "7");
    EXPECT_EQ(std::string(t.Get("COMMENT")).size(), 28u);
    EXPECT_STREQ(t.Get("GENRE"), "200");

    // Version 1.0: byte 125 non-zero gives a 29-character comment and no track.
    file = audio;
    tag = Id3("x", 'c', 7, 17);
    file.insert(file.end(), tag.begin(), tag.end());
    WriteFileBytes(p, file);
    LAudioTagData v10;
    ASSERT_TRUE(v10.ReadTagsMp3(p.c_str()));
    EXPECT_EQ(std::string(v10.Get("COMMENT")).size(), 29u);
    EXPECT_STREQ(v10.Get("TRACKNUMBER", "none"), "none");
    EXPECT_STREQ(v10.Get("GENRE"), "Rock");

    // Writing a track into it zeroes byte 125; a genre name or number is stored by index.
    LAudioTagData w;
    w.Set("TRACKNUMBER", "7");
    w.Set("GENRE", "rock");
    ASSERT_TRUE(w.WriteTags(p.c_str()));
    auto bytes = ReadFileBytes(p);
    ASSERT_EQ(bytes.size(), 428u);  // updated in place
    EXPECT_EQ(bytes[300 + 125], 0);
    EXPECT_EQ(bytes[300 + 126], 7);
    EXPECT_EQ(bytes[300 + 127], 17);
    EXPECT_EQ(bytes[300 + 3], 'x');  // empty title keeps the old one
    w.Set("GENRE", "200");
    ASSERT_TRUE(w.WriteTagsMP3(p.c_str()));
    EXPECT_EQ(ReadFileBytes(p)[427], 200);
    bytes = ReadFileBytes(p);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 300), audio);
}

TEST(Tags, Id3AppendedToUntaggedFile) {
    std::string dir = testutil::ScratchDir();
    std::string p = dir + "/b.mp3";
    WriteFileBytes(p, std::vector<uint8_t>(50, 1));
    LAudioTagData none;
    EXPECT_FALSE(none.ReadTags(p.c_str()));
    LAudioTagData w;
    w.Set("TITLE", "A title that is much longer than thirty characters");
    w.Set("ARTIST", "Artist");
    ASSERT_TRUE(w.WriteTags(p.c_str()));
    auto bytes = ReadFileBytes(p);
    ASSERT_EQ(bytes.size(), 178u);
    EXPECT_EQ(bytes[50 + 32], 0);
    EXPECT_EQ(bytes[50 + 127], 0);  // no genre given: 0
    LAudioTagData r;
    ASSERT_TRUE(r.ReadTags(p.c_str()));
    EXPECT_STREQ(r.Get("TITLE"), "A title that is much longer t");
    EXPECT_STREQ(r.Get("ARTIST"), "Artist");
}

TEST(Tags, WavSlotsAreReusedAndAppended) {
    std::string dir = testutil::ScratchDir();
    std::string p = WavWithTone(dir, "t.wav", 801);  // odd data size: appended chunks padded
    const auto original = ReadFileBytes(p);
    LAudioTagData w;
    w.Set("TITLE", "Morning");
    w.Set("ARTIST", "The Band");
    w.Set("GENRE", "Speech");
    ASSERT_TRUE(w.WriteTags(p.c_str()));
    const auto once = ReadFileBytes(p);
    ASSERT_GT(once.size(), original.size());
    EXPECT_EQ(std::vector<uint8_t>(once.begin() + 44, once.begin() + original.size()),
              std::vector<uint8_t>(original.begin() + 44, original.end()));
    EXPECT_EQ(uint32_t(once[4] | once[5] << 8 | once[6] << 16 | once[7] << 24), once.size() - 8);

    ASSERT_TRUE(w.WriteTags(p.c_str()));
    EXPECT_EQ(ReadFileBytes(p).size(), once.size());  // all slots reused
    LAudioTagData even;
    even.Set("TITLE", "Even");  // even-length title
    ASSERT_TRUE(even.WriteTags(p.c_str()));
    const size_t afterEven = ReadFileBytes(p).size();
    ASSERT_TRUE(even.WriteTags(p.c_str()));
    EXPECT_EQ(ReadFileBytes(p).size(), afterEven);

    LAudioTagData r;
    ASSERT_TRUE(r.ReadTags(p.c_str()));
    EXPECT_STREQ(r.Get("TITLE"), "Even");
    EXPECT_STREQ(r.Get("ARTIST"), "The Band");  // merged from the file
    EXPECT_STREQ(r.Get("GENRE"), "Speech");

    // A longer artist leaves a blank slot of the old size and appends a new LIST chunk.
    LAudioTagData longer;
    longer.Set("ARTIST", "The Much Longer Band");
    const size_t before = ReadFileBytes(p).size();
    ASSERT_TRUE(longer.WriteTags(p.c_str()));
    auto bytes = ReadFileBytes(p);
    EXPECT_GT(bytes.size(), before);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(std::string("    \x09\0\0\0The Band", 16)), std::string::npos);
    LAudioTagData again;
    ASSERT_TRUE(again.ReadTags(p.c_str()));
    EXPECT_STREQ(again.Get("ARTIST"), "The Much Longer Band");
    EXPECT_STREQ(again.Get("GENRE"), "Speech");

    if (testutil::HaveTool("ffprobe")) {
        std::string out = testutil::RunOutput(
            "ffprobe -v quiet -show_entries format_tags=artist,genre -of default=nw=1 '" + p + "'");
        EXPECT_NE(out.find("The Much Longer Band"), std::string::npos) << out;
        EXPECT_NE(out.find("Speech"), std::string::npos) << out;
        // The audio is untouched for the peer too.
        EXPECT_NE(testutil::RunOutput("ffprobe -v quiet -show_entries stream=duration_ts -of "
                                      "default=nw=1:nk=1 '" +
                                      p + "'")
                      .find("801"),
                  std::string::npos);
    }
}

TEST(Tags, BadFilesChangeNothing) {
    std::string dir = testutil::ScratchDir();
    LAudioTagData t;
    t.Set("TITLE", "x");
    EXPECT_FALSE(t.WriteTags((dir + "/missing.wav").c_str()));
    EXPECT_FALSE(t.ReadTags((dir + "/missing.mp3").c_str()));
    std::string ogg = dir + "/a.ogg";
    WriteFileBytes(ogg, {1, 2, 3});
    EXPECT_FALSE(t.WriteTags(ogg.c_str()));
    EXPECT_EQ(ReadFileBytes(ogg).size(), 3u);
    // Malformed chunk sizes end the walk without a crash; reading finds nothing.
    std::vector<uint8_t> junk = {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E',
                                 'L', 'I', 'S', 'T', 0x20, 0,    0,    0,    'I', 'N', 'F', 'O',
                                 'I', 'A', 'R', 'T', 0xF0, 0xFF, 0xFF, 0x7F, 'a', 0};
    std::string bad = dir + "/bad.wav";
    WriteFileBytes(bad, junk);
    LAudioTagData r;
    EXPECT_TRUE(r.ReadTags(bad.c_str()));
    EXPECT_STREQ(r.Get("ARTIST", "none"), "none");
    EXPECT_FALSE(t.WriteTags((dir + "/nofolder/x.mp3").c_str()));
}

}  // namespace
