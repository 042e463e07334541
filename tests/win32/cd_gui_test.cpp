// tamber.exe on a Windows 98 system with an ASPI layer (the stand-in playing a disc image) and a
// CD-ROM drive showing the disc's track files: the list shows the tracks, and the conversion
// rips each into a WAV file equal to the image; a read failure fails only its own track; a track
// plays from the drive.
// Run by cd_gui_test.py, which provides the drive (TAMBER_CD_DRIVE).
#include <windows.h>
// windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/fakecd.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

void SetValue(HKEY root, const std::string& key, const char* name, const char* text) {
    RegWrite(root, key, name, text);
}

const char kApp[] = "Software\\Wine\\AppDefaults\\tamber.exe";

HWND FindMain() {
    HWND w = FindWindowA(MAKEINTATOM(0x8002), "Tamber Plus");
    return w ? w : FindWindowA(MAKEINTATOM(0x8002), "Tamber");
}

// The main window once its list holds n entries (null when it does not come).
HWND MainWithEntries(int n) {
    HWND w = nullptr;
    WaitFor([&] { return (w = FindMain()) && ListView_GetItemCount(GetDlgItem(w, 102)) == n; });
    return w && ListView_GetItemCount(GetDlgItem(w, 102)) == n ? w : nullptr;
}

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
        SetValue(HKEY_CURRENT_USER, kApp, "Version", "win98");
        SetValue(HKEY_CURRENT_USER, std::string(kApp) + "\\DllOverrides", "wnaspi32", "native");
        SetValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\Settings", "UseCDDB", "0");
        CreateDirectoryA((dir_ + "\\out").c_str(), nullptr);
    }
    void TearDown() override {
        for (HANDLE p : processes_) {
            if (WaitForSingleObject(p, 10000) != WAIT_OBJECT_0) TerminateProcess(p, 1);
            CloseHandle(p);
        }
        SetValue(HKEY_CURRENT_USER, kApp, "Version", nullptr);
        SetValue(HKEY_CURRENT_USER, std::string(kApp) + "\\DllOverrides", "wnaspi32", nullptr);
        SetEnvironmentVariableA("TAMBER_ASPI_MODE", nullptr);
    }
    // Starts the program with the disc's tracks (or track `only`, from 1) and more arguments;
    // returns its process.
    HANDLE Start(const std::vector<std::string>& more, int only = 0) {
        std::vector<std::string> args;
        for (int t = 1; t <= disc_.Tracks(); ++t)
            if (!only || t == only)
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

TEST_F(CdGui, TheListShowsTheTracksAndTheRunRipsThem) {
    HANDLE p = Start({"-format", ".wav", "-outfolder", dir_ + "\\out"});
    ASSERT_TRUE(p);
    HWND w = MainWithEntries(5);
    ASSERT_TRUE(w);
    HWND list = GetDlgItem(w, 102);
    Remote remote(w);
    EXPECT_EQ(remote.ListText(list, 0), drive_ + "\\Track01.cda");
    EXPECT_EQ(remote.ListText(list, 4), drive_ + "\\Track05.cda");
    // Convert (1005), then close the window.
    PostMessageA(w, WM_COMMAND, 1005, 0);
    // An output gets its name once complete; the last one ends the run.
    const size_t last = 44 + disc_.TrackPCM(4).size() * 2;
    EXPECT_TRUE(
        WaitFor([&] { return testutil::ReadFileBytes(dir_ + "\\out\\Track05.wav").size() >= last; },
                30000));
    HWND bar = FindWindowExA(w, nullptr, TOOLBARCLASSNAMEA, nullptr);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, TB_ISBUTTONENABLED, 1005, 0) != 0; }));
    PostMessageA(w, WM_COMMAND, 1006, 0);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    for (int t = 0; t < disc_.Tracks(); ++t) {
        std::string out = dir_ + "\\out\\Track0" + std::to_string(t + 1) + ".wav";
        EXPECT_EQ(testutil::ReadWav16(out).samples, disc_.TrackPCM(t)) << out;
    }
    // The ASPI route served it: the layer saw the device-type inquiries and the reads.
    std::ifstream log(dir_ + "\\aspi.log");
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("devtype status=255 type=31"), std::string::npos);
    EXPECT_NE(all.find("cdb=be"), std::string::npos);
}

TEST_F(CdGui, AReadFailureFailsOnlyItsTrackAndLeavesNoFile) {
    // Reads 0-2 serve tracks 1 (10 sectors) and 2 (13 + 27); track 3's first read fails.
    SetEnvironmentVariableA("TAMBER_ASPI_MODE", "sense:3");
    SetValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\Settings", "OutputFormat", "0");
    HANDLE p =
        Start({"-hide", "-format", ".wav", "-outfolder", dir_ + "\\out", "-convert", "-exit"});
    ASSERT_TRUE(p);
    EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(testutil::ReadWav16(dir_ + "\\out\\Track02.wav").samples, disc_.TrackPCM(1));
    for (const char* gone : {"\\out\\Track03.wav", "\\out\\Track04.wav", "\\out\\Track05.wav"})
        EXPECT_EQ(GetFileAttributesA((dir_ + gone).c_str()), INVALID_FILE_ATTRIBUTES) << gone;
}

// F9 plays the selected track while the drive is read: the device receives exactly the track's
// samples and the player stops by itself at the end.
TEST_F(CdGui, PlayingATrackSendsItsSamplesToTheDevice) {
    const std::string capture = WinPath(std::getenv("TAMBER_PLAYED"));
    DeleteFileA(capture.c_str());
    HANDLE p = Start({}, 2);
    ASSERT_TRUE(p);
    HWND w = MainWithEntries(1);
    ASSERT_TRUE(w);
    HWND list = GetDlgItem(w, 102);
    HWND bar = FindWindowExA(w, nullptr, TOOLBARCLASSNAMEA, nullptr);
    PostMessageA(w, WM_COMMAND, 1008, 0);  // select all
    PostMessageA(list, WM_KEYDOWN, VK_F9, 1);
    const std::vector<int16_t> pcm = disc_.TrackPCM(1);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, TB_ISBUTTONENABLED, 1007, 0) != 0; }));
    // Ended by itself.
    EXPECT_TRUE(WaitFor([&] { return !SendMessageA(bar, TB_ISBUTTONENABLED, 1007, 0); }, 30000));
    PostMessageA(w, WM_COMMAND, 1006, 0);
    // Every sample in order; Wine's mixer pads an underrun (a loaded machine) with silent frames.
    const std::vector<uint8_t> played = testutil::ReadFileBytes(capture);
    std::vector<int32_t> frames(played.size() / 4), want(pcm.size() / 2);
    std::memcpy(frames.data(), played.data(), frames.size() * 4);
    std::memcpy(want.data(), pcm.data(), want.size() * 4);
    size_t next = 0;
    for (int32_t f : frames) {
        if (next < want.size() && f == want[next])
            ++next;
        else
            ASSERT_EQ(f, 0) << "frame " << next << " of " << want.size();
    }
    EXPECT_EQ(next, want.size());
    EXPECT_EQ(played.size() % 4, 0u);
}

// With "UseCDDB" on, a run names the track from the disc's entry at the CDDB server by each
// naming scheme (the titles cleaned for file names).
TEST_F(CdGui, RippingNamesTheTrackFromCDDBByEachScheme) {
    const std::string settings = "Software\\Velmora\\Tamber\\Settings";
    const std::string server = "127.0.0.1:" + std::string(std::getenv("CDDB_GOOD"));
    SetValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\CDDB", "Server", server.c_str());
    SetValue(HKEY_LOCAL_MACHINE, settings, "UseCDDB", "1");
    SetValue(HKEY_LOCAL_MACHINE, settings, "OutputFormat", "0");
    SetValue(HKEY_LOCAL_MACHINE, settings, "CustomString", "[%b]\\{%n %t}");
    const struct {
        const char *a, *b, *name;
    } cases[] = {{"1", "0", "Test Artist - Who Me.wav"},
                 {"0", "1", "Test Album - Test Artist - Who Me.wav"},
                 {"0", "0", "Test Album\\2. Who Me.wav"}};
    for (const auto& c : cases) {
        SetValue(HKEY_LOCAL_MACHINE, settings, "FormatChoiceA", c.a);
        SetValue(HKEY_LOCAL_MACHINE, settings, "FormatChoiceB", c.b);
        const std::string out = dir_ + "\\out" + c.a + c.b;
        CreateDirectoryA(out.c_str(), nullptr);
        HANDLE p = Start({"-hide", "-format", ".wav", "-outfolder", out, "-convert", "-exit"}, 2);
        ASSERT_TRUE(p);
        EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0) << c.name;
        EXPECT_EQ(testutil::ReadWav16(out + "\\" + c.name).samples, disc_.TrackPCM(1)) << c.name;
    }
    SetValue(HKEY_LOCAL_MACHINE, settings, "FormatChoiceA", "1");
}

}  // namespace
