// Tags and cover art through the headless program: inputs tagged by the usual taggers, converted
// into every output that carries tags, read back by mutagen; tagged outputs stay valid files
// with the same audio.
#include <algorithm>

#include "tags/tagdata.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

const std::string kTitle = "Ünïcödé ♫ title, longer than thirty characters";
const std::string kAscii = "Plain title, longer than thirty characters";

struct Input {
    const char* file;
    std::string make;  // from src.wav and cover.png, in the working folder
    std::string expected;
};

class TagConvert : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"lame", "flac", "oggenc", "ffmpeg", "sox"})
            if (!HaveTool(tool)) GTEST_SKIP() << "no " << tool;
        if (testutil::Run("/usr/bin/python3 -c 'import mutagen' 2>/dev/null") != 0)
            GTEST_SKIP() << "no mutagen";
        dir_ = ScratchDir();
        fs::create_directories(dir_ + "/home");
        ASSERT_EQ(In("sox -n -r 44100 -c 2 -b 16 src.wav synth 0.5 sine 440 && "
                     "convert -size 3x2 xc:red cover.png 2>/dev/null || "
                     "ffmpeg -v quiet -f lavfi -i color=red:s=3x2 -frames 1 cover.png"),
                  0);
    }
    int In(const std::string& command) { return testutil::Run("cd '" + dir_ + "' && " + command); }
    std::string Dump(const std::string& file) {
        return RunOutput("cd '" + dir_ +
                         "' && /usr/bin/python3 '" TAMBER_SOURCE_DIR
                         "/tests/support/tagdump.py' '" +
                         file + "' 2>&1");
    }
    int Tamber(const std::string& args) {
        return In("TAMBER_HOME='" + dir_ + "/home' '" TAMBER_BINARY_DIR "/tamber' " + args +
                  " >/dev/null 2>&1");
    }
    // The fields every input carries (its title aside), as the dump prints them.
    std::string Common(const std::string& title, bool picture, const std::string& more = "") {
        std::string d =
            "ALBUM=Ålbum\nARTIST=Björk & 坂本龍一\nCOMMENT=A comment\nDATE=2021\nGENRE=Jazz\n";
        if (picture)
            d += "PICTURE=image/png|" +
                 RunOutput("md5sum < '" + dir_ + "/cover.png'").substr(0, 32) + "\n";
        d += more + "TITLE=" + title + "\nTRACKNUMBER=3\n";
        // In the dump's order.
        std::vector<std::string> lines;
        for (size_t at = 0, end; (end = d.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(d.substr(at, end + 1 - at));
        std::sort(lines.begin(), lines.end());
        d.clear();
        for (const std::string& l : lines) d += l;
        return d;
    }
    std::string dir_;
};

TEST_F(TagConvert, EveryFieldAndPictureSurvivesEveryPair) {
    const std::string u8 = "-metadata title='" + kTitle +
                           "' -metadata artist='Björk & 坂本龍一' -metadata album=Ålbum "
                           "-metadata date=2021 -metadata genre=Jazz -metadata comment='A comment'";
    const std::vector<Input> inputs = {
        // ID3v2.4 in UTF-8 with more than the seven fields.
        {"mutagen.mp3",
         "lame --quiet src.wav mutagen.mp3 && /usr/bin/python3 -c \"import sys; from mutagen.id3 "
         "import ID3, TIT2, TPE1, TALB, TPE2, TRCK, TDRC, TCON, COMM, TXXX, APIC; "
         "t = ID3(); [t.add(f) for f in (TIT2(encoding=3, text=sys.argv[1]), "
         "TPE1(encoding=3, text='Björk & 坂本龍一'), TALB(encoding=3, text='Ålbum'), "
         "TPE2(encoding=3, text='Various'), TRCK(encoding=3, text='3/12'), TDRC(encoding=3, "
         "text='2021'), TCON(encoding=3, text='Jazz'), COMM(encoding=3, lang='eng', desc='', "
         "text='A comment'), TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text='-6.5 dB'), "
         "APIC(encoding=3, mime='image/png', type=3, desc='Front', data=open('cover.png', "
         "'rb').read()))]; t.save('mutagen.mp3')\" '" +
             kTitle + "'",
         Common(kTitle, true,
                "ALBUMARTIST=Various\nREPLAYGAIN_TRACK_GAIN=-6.5 dB\nTRACKTOTAL=12\n")},
        // ID3v2.3 with an ID3v1 tag, as lame writes them.
        {"lame.mp3",
         "lame --quiet --id3v2-utf16 --tt '" + kTitle +
             "' --ta 'Björk & 坂本龍一' --tl Ålbum "
             "--ty 2021 --tn 3 --tg Jazz --tc 'A comment' --ti cover.png src.wav lame.mp3",
         Common(kTitle, true)},
        {"peer.flac",
         "flac -s -T 'TITLE=" + kTitle +
             "' -T 'ARTIST=Björk & 坂本龍一' -T ALBUM=Ålbum -T "
             "DATE=2021 -T GENRE=Jazz -T 'COMMENT=A comment' -T TRACKNUMBER=3 "
             "--picture=cover.png src.wav -o peer.flac",
         Common(kTitle, true)},
        {"peer.ogg",
         "oggenc -Q -t '" + kTitle +
             "' -a 'Björk & 坂本龍一' -l Ålbum -d 2021 -G Jazz -N 3 "
             "-c 'COMMENT=A comment' src.wav -o peer.ogg",
         Common(kTitle, false)},
        // INFO as ffmpeg writes it (plain text only).
        {"ffmpeg.wav",
         "ffmpeg -v quiet -i src.wav -metadata title='" + kAscii +
             "' -metadata artist=Bjork "
             "-metadata album=Album -metadata date=2021 -metadata genre=Jazz -metadata "
             "comment='A comment' -metadata track=3 ffmpeg.wav",
         "ALBUM=Album\nARTIST=Bjork\nCOMMENT=A comment\nDATE=2021\nGENRE=Jazz\nTITLE=" + kAscii +
             "\nTRACKNUMBER=3\n"},
        {"ffmpeg.m4a",
         "ffmpeg -v quiet -i src.wav -c:a aac -b:a 96k " + u8 + " -metadata track=3 ffmpeg.m4a",
         Common(kTitle, false)},
    };
    std::vector<std::string> outputs = {".mp3", ".flac", ".ogg", ".wav", ".aiff"};
    if (HaveTool("faac")) outputs.push_back(".m4a");
    for (const Input& in : inputs) {
        ASSERT_EQ(In(in.make), 0) << in.make;
        ASSERT_EQ(Dump(in.file), in.expected) << "the peer's own tags of " << in.file;
        const std::string stem = fs::path(in.file).stem().string();
        for (const std::string& ext : outputs) {
            const std::string out = "out/" + stem + ext;
            ASSERT_EQ(Tamber("-overwrite ALWAYS -format " + ext + " -outfolder out " + in.file +
                             " -convert"),
                      0)
                << in.file << " to " << ext;
            // The picture goes where the output can hold it.
            EXPECT_EQ(Dump(out), in.expected) << in.file << " to " << ext;
        }
    }
}

// A tagged output is the untagged one with tags: peers check it and decode the same audio.
TEST_F(TagConvert, TaggedOutputsStayValidWithTheSameAudio) {
    ASSERT_EQ(In("cp src.wav plain.wav && cp src.wav tagged.wav"), 0);
    LAudioTagData tags;
    tags.Set("TITLE", kTitle.c_str());
    tags.Set("ARTIST", "Artist");
    LTagPicture p;
    p.mime = "image/png";
    p.data = ReadFileBytes(dir_ + "/cover.png");
    tags.AddPicture(p);
    ASSERT_TRUE(tags.WriteTags((dir_ + "/tagged.wav").c_str()));
    for (const std::string ext : {".mp3", ".flac", ".ogg", ".aiff", ".wav"}) {
        ASSERT_EQ(Tamber("-overwrite ALWAYS -format " + ext +
                         " -outfolder out plain.wav tagged.wav -convert"),
                  0);
        const std::string tagged = dir_ + "/out/tagged" + ext, plain = dir_ + "/out/plain" + ext;
        EXPECT_NE(ReadFileBytes(tagged), ReadFileBytes(plain)) << ext;
        EXPECT_EQ(FfmpegDecode(tagged), FfmpegDecode(plain)) << ext;
    }
    EXPECT_EQ(In("flac -t -s out/tagged.flac"), 0);
    if (HaveTool("ogginfo"))
        EXPECT_EQ(RunOutput("ogginfo '" + dir_ + "/out/tagged.ogg' | grep -ci -e warn -e error"),
                  "0\n");
    // Opus and MP4 as the peers write them take tags too, and still decode alike.
    if (HaveTool("opusenc") && HaveTool("opusdec")) {
        ASSERT_EQ(In("opusenc --quiet src.wav a.opus && cp a.opus b.opus"), 0);
        ASSERT_TRUE(tags.WriteTags((dir_ + "/b.opus").c_str()));
        EXPECT_EQ(Dump("b.opus"), Dump("out/tagged.flac"));
        EXPECT_EQ(In("opusdec --quiet a.opus a.wav && opusdec --quiet b.opus b.wav && "
                     "cmp -s a.wav b.wav && ogginfo b.opus >/dev/null"),
                  0);
    }
    for (const char* flags : {"-movflags +faststart", ""}) {
        ASSERT_EQ(In(std::string("ffmpeg -v quiet -y -i src.wav -c:a aac ") + flags +
                     " a.m4a && cp a.m4a b.m4a"),
                  0);
        ASSERT_TRUE(tags.WriteTags((dir_ + "/b.m4a").c_str())) << flags;
        EXPECT_EQ(Dump("b.m4a"), Dump("out/tagged.flac")) << flags;
        EXPECT_EQ(FfmpegDecode(dir_ + "/b.m4a"), FfmpegDecode(dir_ + "/a.m4a")) << flags;
    }
}

}  // namespace
