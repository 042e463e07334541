// CD track entries in a conversion run: naming schemes, long texts, whole discs, CDDB names.
#include "convert/cdconvert.h"

#include "app/cmdline.h"
#include "cd/cddb.h"
#include "cd/drives.h"
#include "store/settings.h"
#include "tests/support/fakecd.h"
#include "tests/support/fakehost.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

// The window stand-in with CD track entries.
class Host : public FakeHost {
  public:
    Host() { answer = LANSWER_YES; }
    LCDRunState cd;
    bool ConvertCDAudioFile(int i, char* out, LOverwriteState& ow, LProgressDialog* dlg) override {
        return CmConvertCDAudioFile(*this, cd, entries[size_t(i)].path.c_str(), out, ow, dlg);
    }
    void EndOfConvertBatch() override { cd.tableLoaded = false; }
};

class CdConvert : public ::testing::Test {
  protected:
    // The command line against the host, with the served drive.
    void Run(std::vector<std::string> args) {
        args.insert(args.begin(), "tamber");
        std::vector<const char*> argv;
        for (auto& a : args) argv.push_back(a.c_str());
        LSettingsRecords records;
        LCommandLine(host_, records).Run(int(argv.size()), argv.data());
    }
    std::string Name(const LCDNameTexts& t, const std::string& folder) {
        char out[LMAX_PATH];
        return LCDNameOutput(host_, t, folder.c_str(), ".wav", out) ? out : "(none)";
    }
    std::string dir_ = ScratchHome();
    Host host_;
};

TEST_F(CdConvert, LongTextsAreCutAt259AndKeepTheExtension) {
    LCDNameTexts t;
    for (char* text : {t.artist, t.album, t.title}) std::memset(text, 'x', 259);
    for (const char* pattern : {"A", "{%n %a %b %t %e %g}", "[%b]{%t}", "[%a][%b][%t]{%t}"}) {
        SettingsWriteBool("Settings", "FormatChoiceA", pattern[0] == 'A');
        SettingsWriteString("Settings", "CustomString", pattern);
        const std::string name = Name(t, dir_);
        EXPECT_TRUE(name.size() <= 259 && name.ends_with(".wav")) << pattern << ": " << name;
    }
}

TEST_F(CdConvert, WholeDiscAndOneTrackFromTheCommandLine) {
    DiscImage disc = MakeTestDisc(150);
    FakeCDDrive drive(disc);
    Run({"-format", ".wav", "-outfolder", dir_ + "/all", "/dev/fakesr0", "-convert"});
    for (int t = 0; t < 5; ++t) {
        Wav16 wav = ReadWav16(dir_ + "/all/Track0" + std::to_string(t + 1) + ".wav");
        EXPECT_EQ(std::tuple(wav.rate, wav.samples), std::tuple(44100, disc.TrackPCM(t))) << t;
    }
    EXPECT_EQ(host_.Images(), std::vector<int>(5, LENTRY_DONE));
    // A track beyond the disc fails, leaving no file; "[Same as source file]" is the music folder.
    host_.RemoveAllEntries();
    Run({"-outfolder", "[Same as source file]", "/dev/fakesr0#4", "/dev/fakesr0#6", "-convert"});
    EXPECT_EQ(host_.Images(), (std::vector<int>{LENTRY_DONE, LENTRY_FAILED}));
    EXPECT_EQ(ReadWav16(dir_ + "/home/Music/Track04.wav").samples, disc.TrackPCM(3));
    EXPECT_FALSE(fs::exists(dir_ + "/home/Music/Track06.wav"));
    std::vector<std::string> none;
    std::vector<uint32_t> bytes;
    EXPECT_FALSE(LCDTrackArguments("/dev/fakesr1", none, bytes) ||
                 LCDTrackArguments("/dev/fakesr0#x", none, bytes));
}

// The worked example named from the test server under every scheme; an unknown disc is reported.
TEST_F(CdConvert, NamingSchemesWithNamesFromTheTestServer) {
    DiscImage disc{{0, 15000, 30000, 45000}, {}};
    FakeCDDrive drive(disc);
    auto use = [](const char* mode) {
        const std::string server = "127.0.0.1:" + std::to_string(CddbTestServers()[mode]);
        SettingsWriteString(kCDDBSection, "Server", server.c_str());
    };
    use("good");
    LCDDBInfo& info = *host_.cd.info;
    info.bUseCDDB = 1;
    FakeProgress dlg;
    ASSERT_EQ(LCDReadDiscInfo(&dlg, info), LPROCESS_OK);
    ASSERT_EQ(ProcessCDDBLookup(&dlg, &info), LPROCESS_OK);
    LCDNameTexts t;
    LCDCleanTexts(info, 0, t);
    EXPECT_EQ(Name(t, dir_), dir_ + "/ACDC - TNT.wav");
    SettingsWriteBool("Settings", "FormatChoiceA", false);
    SettingsWriteBool("Settings", "FormatChoiceB", true);
    EXPECT_EQ(Name(t, dir_), dir_ + "/Live at Donington - ACDC - TNT.wav");
    SettingsWriteBool("Settings", "FormatChoiceB", false);
    SettingsWriteString("Settings", "CustomString", "[%a][%b]{%n %t %y}");
    EXPECT_EQ(Name(t, dir_), dir_ + "/ACDC/Live at Donington/1. TNT - 1992.wav");
    EXPECT_TRUE(fs::is_directory(dir_ + "/ACDC/Live at Donington"));
    SettingsWriteString("Settings", "CustomString", "%t");  // no file part
    EXPECT_EQ(Name(t, dir_), "(none)");
    // A folder level that cannot be created is reported, naming this program, and passed over.
    WriteFileBytes(dir_ + "/file", {'x'});
    SettingsWriteString("Settings", "CustomString", "[%a]{%t}");
    EXPECT_EQ(Name(t, dir_ + "/file"), dir_ + "/file/ACDC/TNT.wav");
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_NE(host_.messages[0].find("running Tamber in Administrator mode."), std::string::npos);
    use("nomatch");
    SettingsWriteBool("Settings", "UseCDDB", true);
    host_.cd.tableLoaded = false;
    LCDLoadTableForPlay(host_, host_.cd, info.iDrive);
    EXPECT_EQ(host_.messages.back(), kCDDBNoMatchMessage);
}

}  // namespace
