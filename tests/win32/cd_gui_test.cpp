// tamber.exe on a Windows 98 system with an ASPI layer (the stand-in playing a disc image) and a
// CD-ROM drive showing the disc's track files: the conversion rips each track into a WAV file
// equal to the image, named from CDDB; a read failure fails only its own track.
// Run by cd_gui_test.py, which provides the drive (TAMBER_CD_DRIVE).
#include "tests/support/fakecd.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

const std::string kApp = "Software\\Wine\\AppDefaults\\tamber.exe";

// The program and the stand-in layer side by side; Windows 98, the layer native. Undone at the
// end: the suites after this one share the prefix.
class CdGui : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("TAMBER_CD_DRIVE")) GTEST_SKIP() << "run through cd_gui_test.py";
        fs::create_directories(dir + "\\prog");
        fs::create_directories(dir + "\\out");
        for (const char* file : {"tamber.exe", "tests/standin-dlls/wnaspi32.dll"})
            ASSERT_TRUE(
                fs::copy_file(Built(file), dir + "\\prog\\" + fs::path(file).filename().string()));
        RegWrite(HKEY_CURRENT_USER, kApp, "Version", "win98");
        RegWrite(HKEY_CURRENT_USER, kApp + "\\DllOverrides", "wnaspi32", "native");
    }
    void TearDown() override {
        RegWrite(HKEY_CURRENT_USER, kApp, "Version", nullptr);
        RegWrite(HKEY_CURRENT_USER, kApp + "\\DllOverrides", "wnaspi32", nullptr);
        SetSetting("Settings", "FormatChoiceA", "1");
        SetSetting("Settings", "UseCDDB", "0");
    }
    const std::string dir = testutil::ScratchDir();
};

// A hidden run with "UseCDDB" on names the tracks from the disc's entry at the CDDB server (the
// custom scheme makes the album's folder); a read failure fails only its own track and leaves no
// file (reads 0-2 serve tracks 1 (10 sectors) and 2 (13 + 27); track 3's first read fails).
TEST_F(CdGui, HiddenRunNamesFromCDDBAndAReadFailureFailsOnlyItsTrack) {
    testutil::ForgetWavOutputFormat();
    const testutil::DiscImage disc = testutil::MakeTestDisc(0);
    ASSERT_TRUE(disc.Save(dir + "\\disc.img"));
    SetEnvironmentVariableA("TAMBER_ASPI_IMAGE", (dir + "\\disc.img").c_str());
    SetEnvironmentVariableA("TAMBER_ASPI_MODE", "sense:3");
    const std::string server = "127.0.0.1:" + std::string(std::getenv("CDDB_GOOD"));
    SetSetting("CDDB", "Server", server.c_str());
    for (auto [name, value] : {std::pair{"UseCDDB", "1"},
                               {"OutputFormat", "0"},
                               {"CustomString", "[%b]\\{%n %t}"},
                               {"FormatChoiceA", "0"},
                               {"FormatChoiceB", "0"}})
        SetSetting("Settings", name, value);
    std::vector<std::string> args;
    for (int t = 1; t <= disc.Tracks(); ++t)
        args.push_back(std::getenv("TAMBER_CD_DRIVE") + std::string("\\Track0") +
                       std::to_string(t) + ".cda");
    args.insert(args.end(),
                {"-hide", "-format", ".wav", "-outfolder", dir + "\\out", "-convert", "-exit"});
    EXPECT_TRUE(Ended(Start(dir + "\\prog\\tamber.exe", args), 60000));
    const std::string album = dir + "\\out\\Test Album";
    EXPECT_EQ(testutil::ReadWav16(album + "\\2. Who Me.wav").samples, disc.TrackPCM(1));
    EXPECT_EQ(std::distance(fs::directory_iterator(album), {}), 2);  // tracks 1, 2
}

}  // namespace
