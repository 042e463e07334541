// Audio tags: ID3v1.1 fields and genres, WAV INFO/DISP slot reuse, appending and peers' mapping.
#include "support/byteorder.h"
#include "tags/tagdata.h"
#include "tests/support/concat.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

std::vector<uint8_t> Id3(const char* title, uint8_t b125, uint8_t b126, uint8_t genre) {
    std::vector<uint8_t> t(128, 0);
    std::memcpy(t.data(), "TAG", 3);
    std::memcpy(t.data() + 3, title, std::min<size_t>(30, std::strlen(title)));
    std::memcpy(t.data() + 93, "1999", 4);
    std::memset(t.data() + 97, 'c', 28);
    t[125] = b125, t[126] = b126, t[127] = genre;
    return t;
}

// The named fields of a file's tags, joined by "|" ("-" for a missing one; "(none)": no tags).
std::string Fields(const std::string& path, std::initializer_list<const char*> names) {
    LAudioTagData t;
    if (!t.ReadTags(path.c_str())) return "(none)";
    std::string out;
    for (const char* n : names) out += std::string(out.empty() ? "" : "|") + t.Get(n, "-");
    return out;
}

LAudioTagData Tags(std::initializer_list<std::pair<const char*, const char*>> fields) {
    LAudioTagData t;
    for (const auto& [name, value] : fields) t.Set(name, value);
    return t;
}

TEST(Tags, Id3ReadRules) {
    const std::string p = ScratchDir() + "/a.mp3";
    const std::vector<uint8_t> audio(300, 0xAB);
    // A 30-character title field.
    WriteFileBytes(p, Concat({audio, Id3("0123456789012345678901234567890123", 0, 7, 200)}));
    EXPECT_EQ(Fields(p, {"TITLE", "DATE", "TRACKNUMBER", "COMMENT", "GENRE"}),
              "01234567890123456789012345678|1999|7|" + std::string(28, 'c') + "|200");
    // Version 1.0: byte 125 non-zero gives a 29-character comment and no track.
    WriteFileBytes(p, Concat({audio, Id3("x", 'c', 7, 17)}));
    EXPECT_EQ(Fields(p, {"COMMENT", "TRACKNUMBER", "GENRE"}), std::string(29, 'c') + "|-|Rock");

    // Writing a track zeroes byte 125; genres go by index; an empty title keeps the old; in place
    // at the end, with an ID3v2 tag (in its own room the second time) before the audio.
    LAudioTagData w = Tags({{"TRACKNUMBER", "7"}, {"GENRE", "rock"}});
    ASSERT_TRUE(w.WriteTags(p.c_str()));
    auto bytes = ReadFileBytes(p);
    const size_t front = bytes.size() - 428;
    EXPECT_EQ(std::tuple(bytes[front + 303], bytes[front + 425], bytes[front + 426],
                         bytes[front + 427], bytes[0], bytes[3]),
              std::tuple('x', 0, 7, 17, 'I', 3));
    w.Set("GENRE", "200");
    ASSERT_TRUE(w.WriteTagsMP3(p.c_str()));
    bytes = ReadFileBytes(p);
    ASSERT_EQ(bytes.size(), front + 428);
    EXPECT_EQ(bytes.back(), 200);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(front), bytes.begin() + long(front) + 300),
              audio);
}

TEST(Tags, WavSlotsAreReusedAndAppended) {
    const std::string p = ScratchDir() + "/t.wav";
    WriteWav16(p, 8000, 1, Sine(8000, 1, 801, 440, 0.3));  // odd data: padded
    const auto original = ReadFileBytes(p);
    LAudioTagData w = Tags({{"TITLE", "Morning"}, {"ARTIST", "The Band"}, {"GENRE", "Speech"}});
    ASSERT_TRUE(w.WriteTags(p.c_str()));
    const auto once = ReadFileBytes(p);
    ASSERT_GT(once.size(), original.size());
    EXPECT_EQ(std::vector<uint8_t>(once.begin() + 44, once.begin() + original.size()),
              std::vector<uint8_t>(original.begin() + 44, original.end()));

    ASSERT_TRUE(w.WriteTags(p.c_str()));
    EXPECT_EQ(ReadFileBytes(p).size(), once.size());  // all slots reused
    LAudioTagData even = Tags({{"TITLE", "Even"}});   // even-length title
    ASSERT_TRUE(even.WriteTags(p.c_str()));
    const size_t afterEven = ReadFileBytes(p).size();
    ASSERT_TRUE(even.WriteTags(p.c_str()));
    EXPECT_EQ(ReadFileBytes(p).size(), afterEven);
    EXPECT_EQ(Fields(p, {"TITLE", "ARTIST", "GENRE"}), "Even|The Band|Speech");  // merged

    // A longer artist leaves a blank slot of the old size and appends a new LIST chunk.
    ASSERT_TRUE(Tags({{"ARTIST", "The Much Longer Band"}}).WriteTags(p.c_str()));
    const std::string text = ReadText(p);
    EXPECT_GT(text.size(), afterEven);
    EXPECT_EQ(LoadLE32(reinterpret_cast<const uint8_t*>(&text[4])), text.size() - 8);
    EXPECT_NE(text.find(std::string("    \x09\0\0\0The Band", 16)), std::string::npos);
    EXPECT_EQ(Fields(p, {"ARTIST", "GENRE"}), "The Much Longer Band|Speech");
    if (!HaveTool("ffprobe")) return;
    // The peer finds them too, and the audio is untouched for it.
    EXPECT_EQ(RunOutput("ffprobe -v quiet -show_entries format_tags=artist,genre:stream="
                        "duration_ts -of default=nw=1:nk=1 '" +
                        p + "'"),
              "801\nSpeech\nThe Much Longer Band\n");

    // INFO as the peers map it, both ways: INAM title, IPRD album, ICRD date.
    ASSERT_TRUE(Tags({{"ALBUM", "Dawn"}, {"DATE", "1999"}}).WriteTags(p.c_str()));
    EXPECT_EQ(RunOutput("ffprobe -v quiet -show_entries format_tags=title,album,date -of "
                        "default=nw=1 '" +
                        p + "' | sort"),
              "TAG:album=Dawn\nTAG:date=1999\nTAG:title=Even\n");
    // The title that changed length left an old DISP behind: it never comes back.
    ASSERT_TRUE(Tags({{"TITLE", "Morning"}}).WriteTags(p.c_str()));
    EXPECT_EQ(Fields(p, {"TITLE", "ALBUM"}), "Morning|Dawn");
    const std::string q = ScratchDir() + "/peer.wav";
    RunOutput(
        "ffmpeg -v quiet -y -f lavfi -i anullsrc=r=8000:cl=mono -t 0.1 -metadata title=T "
        "-metadata album=A -metadata date=2001 -metadata copyright=C '" +
        q + "'");
    EXPECT_EQ(Fields(q, {"TITLE", "ALBUM", "DATE"}), "T|A|2001");
}

TEST(Tags, BadFilesChangeNothing) {
    const std::string dir = ScratchDir(), bad = dir + "/bad.wav";
    LAudioTagData t = Tags({{"TITLE", "x"}});
    EXPECT_FALSE(t.WriteTags((dir + "/missing.wav").c_str()) ||
                 t.ReadTags((dir + "/missing.mp3").c_str()) ||
                 t.WriteTags((dir + "/nofolder/x.mp3").c_str()));
    // Malformed chunk sizes end the walk without a crash; reading finds nothing.
    WriteFileBytes(bad, {'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E',
                         'L', 'I', 'S', 'T', 0x20, 0,    0,    0,    'I', 'N', 'F', 'O',
                         'I', 'A', 'R', 'T', 0xF0, 0xFF, 0xFF, 0x7F, 'a', 0});
    EXPECT_EQ(Fields(bad, {"ARTIST"}), "-");
}

}  // namespace
