// tamber.exe on a Windows 98 system with an ASPI layer (the stand-in playing a disc image) and a
// CD-ROM drive showing the disc's track files: the conversion rips each track into a WAV file
// equal to the image, named from CDDB; a read failure fails only its own track.
// Run by cd_gui_test.py, which provides the drive (TAMBER_CD_DRIVE).
#include "tests/support/fakecd.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

const char kApp[] = "Software\\Wine\\AppDefaults\\tamber.exe";

class CdGui : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* drive = std::getenv("TAMBER_CD_DRIVE");
        if (!drive) GTEST_SKIP() << "run through cd_gui_test.py";
        drive_ = drive;
        dir_ = testutil::ScratchDir();
        testutil::ForgetWavOutputFormat();
        disc_ = testutil::MakeTestDisc(0);
        ASSERT_TRUE(disc_.Save(dir_ + "\\disc.img"));
        SetEnvironmentVariableA("TAMBER_ASPI_IMAGE", (dir_ + "\\disc.img").c_str());
        SetEnvironmentVariableA("TAMBER_ASPI_LOG", (dir_ + "\\aspi.log").c_str());
        // The program and the stand-in layer side by side; Windows 98, the layer native.
        CreateDirectoryA((dir_ + "\\prog").c_str(), nullptr);
        ASSERT_TRUE(
            CopyFileA(Built("tamber.exe").c_str(), (dir_ + "\\prog\\tamber.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(Built("tests/standin-dlls/wnaspi32.dll").c_str(),
                              (dir_ + "\\prog\\wnaspi32.dll").c_str(), FALSE));
        RegWrite(HKEY_CURRENT_USER, kApp, "Version", "win98");
        RegWrite(HKEY_CURRENT_USER, std::string(kApp) + "\\DllOverrides", "wnaspi32", "native");
        RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\Settings", "UseCDDB", "0");
        CreateDirectoryA((dir_ + "\\out").c_str(), nullptr);
    }
    void TearDown() override {
        for (HANDLE p : processes_) {
            if (WaitForSingleObject(p, 10000) != WAIT_OBJECT_0) TerminateProcess(p, 1);
            CloseHandle(p);
        }
        RegWrite(HKEY_CURRENT_USER, kApp, "Version", nullptr);
        RegWrite(HKEY_CURRENT_USER, std::string(kApp) + "\\DllOverrides", "wnaspi32", nullptr);
        SetEnvironmentVariableA("TAMBER_ASPI_MODE", nullptr);
    }
    // Starts the program with the disc's tracks and more arguments; returns its process.
    HANDLE Start(const std::vector<std::string>& more) {
        std::vector<std::string> args;
        for (int t = 1; t <= disc_.Tracks(); ++t)
            args.push_back(drive_ + "\\Track0" + std::to_string(t) + ".cda");
        args.insert(args.end(), more.begin(), more.end());
        HANDLE p = wintest::Start(dir_ + "\\prog\\tamber.exe", args);
        if (p) processes_.push_back(p);
        return p;
    }
    std::vector<HANDLE> processes_;
    std::string drive_, dir_;
    testutil::DiscImage disc_;
};

// A hidden run with "UseCDDB" on names the tracks from the disc's entry at the CDDB server (the
// custom scheme makes the album's folder); a read failure fails only its own track and leaves no
// file (reads 0-2 serve tracks 1 (10 sectors) and 2 (13 + 27); track 3's first read fails).
TEST_F(CdGui, HiddenRunNamesFromCDDBAndAReadFailureFailsOnlyItsTrack) {
    SetEnvironmentVariableA("TAMBER_ASPI_MODE", "sense:3");
    const std::string settings = "Software\\Velmora\\Tamber\\Settings";
    const std::string server = "127.0.0.1:" + std::string(std::getenv("CDDB_GOOD"));
    RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\CDDB", "Server", server.c_str());
    for (auto [name, value] : {std::pair{"UseCDDB", "1"},
                               {"OutputFormat", "0"},
                               {"CustomString", "[%b]\\{%n %t}"},
                               {"FormatChoiceA", "0"},
                               {"FormatChoiceB", "0"}})
        RegWrite(HKEY_LOCAL_MACHINE, settings, name, value);
    HANDLE p =
        Start({"-hide", "-format", ".wav", "-outfolder", dir_ + "\\out", "-convert", "-exit"});
    ASSERT_TRUE(p);
    EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    const std::string album = dir_ + "\\out\\Test Album";
    EXPECT_EQ(testutil::ReadWav16(album + "\\2. Who Me.wav").samples, disc_.TrackPCM(1));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(album), {}), 2);  // tracks 1, 2
    RegWrite(HKEY_LOCAL_MACHINE, settings, "FormatChoiceA", "1");
}

}  // namespace
