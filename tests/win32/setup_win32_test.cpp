// The distributed files under Wine: the cross-built LAME behind tamber.exe, and the setup file
// (its layout read back here independently, install, uninstall, refusals, cancel, corruption).
#include <windows.h>
// windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/mp3.h"
#include "support/byteorder.h"
#include "tests/support/soundutil.h"
#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

// Runs tamber.exe hidden on one WAV file to MP3 in the same folder; the decoded output's best
// correlation with the input within the encoder's delay.
double ConvertToMp3AndCorrelate(const std::string& exe, const std::string& dir) {
    const std::vector<int16_t> in = testutil::Sine(44100, 2, 44100, 440, 12000);
    EXPECT_TRUE(testutil::WriteWav16(dir + "\\in.wav", 44100, 2, in));
    SetSetting("Settings", "AlwaysOverwrite", "1");
    SetSetting("Settings", "AlwaysPrompt", "0");
    HANDLE p = Start(exe, {"-hide", "-format", ".mp3", "-outfolder", dir, dir + "\\in.wav",
                           "-convert", "-exit"});
    EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    CloseHandle(p);
    LMP3Source mp3((dir + "\\in.mp3").c_str());
    const std::vector<int16_t> out = testutil::ReadAll16(mp3),
                               window(in.begin(), in.begin() + 40000);
    double best = 0;
    for (size_t at = 0; at < 6000 && at + window.size() <= out.size(); at += 2)
        best = std::max(best, testutil::Correlation(
                                  window, {out.begin() + at, out.begin() + at + window.size()}));
    return best;
}

constexpr int kFinishButton = 0x3025;  // the wizard's Finish button
const char kCorrupt[] =
    "Installation file corrupt.\n\nA checksum error was detected in your install file, please "
    "redownload file and install again.";

// Whether a child of the window (any depth) shows the text.
bool Shows(HWND parent, const std::string& text) {
    return AllTexts(parent).find(text) != std::string::npos;
}

std::string Variant(const char* name) {
    const char* dir = std::getenv("TAMBER_SETUP_VARIANTS");
    return std::string(dir ? dir : "") + "\\" + name;
}

std::string Reg(HKEY root, const std::string& key, const char* value) {
    const std::string v = RegRead(root, key, value);
    return v.rfind("<no ", 0) == 0 ? "<none>" : v;
}

uint32_t LastWord(const std::string& path) {
    const auto b = testutil::ReadFileBytes(path);
    return b.size() < 4 ? 1 : LoadLE32(&b[b.size() - 4]);
}

const std::string kFolder = "C:\\Program Files\\Velmora\\Tamber";
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tamber";
const std::string kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string ShellFolder(const char* common, const char* own) {
    std::string f = Reg(HKEY_LOCAL_MACHINE, kShellFolders, common);
    return f != "<none>" && !f.empty() ? f : Reg(HKEY_CURRENT_USER, kShellFolders, own);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a setup file and answers its licence page (agree or not) up to the Finish button.
HANDLE StartWizard(const std::string& setup, int radio, HWND* sheet) {
    HANDLE p = Start(setup);
    *sheet = WaitDialog("Tamber Setup");
    EXPECT_TRUE(*sheet);
    if (!*sheet) return p;
    HWND finish = GetDlgItem(*sheet, kFinishButton);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(finish); }, 5000));
    HWND page = reinterpret_cast<HWND>(SendMessageA(*sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    SendMessageA(GetDlgItem(page, radio), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(finish); }, 5000));
    EXPECT_EQ(Text(finish), radio == 101 ? "&Install" : "Close");
    return p;
}

}  // namespace

// "I do not agree": the Exit Setup question keeps the wizard on Cancel, Close installs nothing.
TEST(SetupFile, DisagreeInstallsAndWritesNothing) {
    HWND sheet = nullptr;
    HANDLE p = StartWizard(Variant("tamber-setup.exe"), 102, &sheet);
    ASSERT_TRUE(sheet);
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    HWND ask = WaitDialog("Exit Setup");
    ASSERT_TRUE(ask);
    EXPECT_TRUE(Shows(ask,
                      "Setup is not complete. If you quit now, the program will not "
                      "be installed.\r\n\r\nYou may run the setup program again at "
                      "another time to complete the installation.\r\n\r\nExit Setup?"));
    EXPECT_TRUE(Answer("Exit Setup", IDCANCEL));
    EXPECT_TRUE(IsWindow(sheet));
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    CloseHandle(p);
    EXPECT_FALSE(Exists(kFolder));
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "<none>");
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\Settings", "Convert"), "<none>");
}

// An installation folder that cannot be made asks for the Administrator.
TEST(SetupFile, UncreatableFolderAsksForTheAdministrator) {
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion";
    const std::string programs = Reg(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir");
    RegWrite(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", "Q:\\no drive");
    HANDLE p = Start(Variant("tamber-setup.exe"));
    HWND box = WaitDialog("Install Error");
    RegWrite(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", programs.c_str());
    ASSERT_TRUE(box);
    EXPECT_TRUE(Shows(box,
                      "To install software you must be logged on as this computer's "
                      "Administrator. If you are not able to do this, ask your computer "
                      "Administrator to log in and run the setup file again."));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    CloseHandle(p);
}

// A truncated setup file refuses to start; a changed payload byte gives the checksum message
// after the licence.
TEST(SetupFile, TruncatedAndCorruptFilesRefuse) {
    HANDLE p = Start(Variant("cut-setup.exe"));
    HWND box = WaitDialog("Install Error");
    ASSERT_TRUE(box);
    EXPECT_TRUE(Shows(box, kCorrupt));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(p, 10000), WAIT_OBJECT_0);
    CloseHandle(p);

    HWND sheet = nullptr;
    p = StartWizard(Variant("changed-setup.exe"), 101, &sheet);
    ASSERT_TRUE(sheet);
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    box = WaitDialog("Install Error");
    ASSERT_TRUE(box);
    EXPECT_TRUE(Shows(box, kCorrupt));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    CloseHandle(p);
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "<none>");
    EXPECT_FALSE(Exists(kFolder + "\\uninst.exe"));
}

// Cancel in the middle of a long extraction, or a file that cannot be written, ends the
// install without finishing.
TEST(SetupFile, CancelDuringExtraction) {
    HWND sheet = nullptr;
    HANDLE p = StartWizard(Variant("big-setup.exe"), 101, &sheet);
    ASSERT_TRUE(sheet);
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    HWND progress = WaitDialog("Installing Tamber");
    ASSERT_TRUE(progress);
    ASSERT_TRUE(WaitFor([&] { return Shows(progress, "tamber.hlp"); }));
    PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    CloseHandle(p);
    EXPECT_TRUE(Exists(kFolder + "\\tamber.exe"));
    EXPECT_LT(testutil::ReadFileBytes(kFolder + "\\tamber.hlp").size(), 96u << 20);
    EXPECT_FALSE(Exists(kFolder + "\\uninst.exe"));
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "<none>");

    // A payload file that cannot be created is reported and nothing is finished.
    const std::string blocked = kFolder + "\\lame.exe";
    DeleteFileA(blocked.c_str());
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    p = StartWizard(Variant("tamber-setup.exe"), 101, &sheet);
    ASSERT_TRUE(sheet);
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    HWND box = WaitDialog("Install Error");
    ASSERT_TRUE(box);
    EXPECT_TRUE(Shows(box, "installation is incomplete:\n" + blocked));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    CloseHandle(p);
    EXPECT_FALSE(Exists(kFolder + "\\uninst.exe"));
    RemoveDirectoryA(blocked.c_str());
}

// Install, the installed program with its encoder, then uninstall.
TEST(SetupFile, InstallsRunsAndUninstalls) {
    HWND sheet = nullptr;
    HANDLE p = StartWizard(Variant("tamber-setup.exe"), 101, &sheet);
    ASSERT_TRUE(sheet);
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    CloseHandle(p);

    // The installed program started with "/install": its related-programs offer comes up.
    HWND offer = WaitDialog("Tamber Install Wizard");
    EXPECT_TRUE(offer);
    if (offer) PostMessageA(offer, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    HWND main = WaitDialog("Tamber Plus");
    ASSERT_TRUE(main);
    EXPECT_TRUE(Answer("Tamber Plus", IDCANCEL));

    const std::string exe = kFolder + "\\tamber.exe", uninst = kFolder + "\\uninst.exe";
    EXPECT_EQ(LastWord(exe), 0u);
    EXPECT_EQ(LastWord(uninst), 0xF0F00F0Fu);
    EXPECT_FALSE(Exists(kFolder + "\\lame.exe"));
    const std::string group = ShellFolder("Common Programs", "Programs") + "\\Tamber";
    const std::string desktop = ShellFolder("Common Desktop", "Desktop") + "\\Tamber.lnk";
    EXPECT_TRUE(Exists(group + "\\Tamber.lnk"));
    EXPECT_TRUE(Exists(group + "\\Tamber Help.lnk"));
    EXPECT_TRUE(Exists(desktop));
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Tamber Uninstall");
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), uninst);
    const std::string encoder =
        Reg(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\mp3el", "Path");
    EXPECT_EQ(encoder, "C:\\Program Files\\Velmora\\Components\\mp3el\\mp3enc.exe");
    EXPECT_TRUE(Exists(encoder));
    const std::string settings = "Software\\Velmora\\Tamber\\Settings";
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, settings, "Convert"), "\"" + exe + "\" \"%s\"");
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, settings, "Load"), "\"" + exe + "\" %s");
    for (const char* ext : {".WAV", ".MP3", ".DCT"}) {
        const std::string type = Reg(HKEY_CLASSES_ROOT, ext, nullptr);
        EXPECT_EQ(Reg(HKEY_CLASSES_ROOT, type + "\\Shell\\Convert with Tamber\\command", nullptr),
                  "\"" + exe + "\" \"%L\"")
            << ext;
    }
    EXPECT_GT(ConvertToMp3AndCorrelate(exe, testutil::ScratchDir()), 0.95);

    p = Start(uninst);
    EXPECT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    CloseHandle(p);
    HWND ask = WaitDialog("Uninstall Tamber");
    ASSERT_TRUE(ask);
    EXPECT_TRUE(Shows(ask, "Are you sure you want to remove Tamber from this computer?"));
    PostMessageA(ask, WM_COMMAND, IDYES, 0);
    // The shared settings go last.
    EXPECT_TRUE(WaitFor([&] { return Reg(HKEY_LOCAL_MACHINE, settings, "Convert") == "<none>"; }));
    EXPECT_FALSE(Exists(kFolder));
    EXPECT_FALSE(Exists(desktop));
    EXPECT_FALSE(Exists(group));
    EXPECT_EQ(Reg(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "<none>");
    const std::string type = Reg(HKEY_CLASSES_ROOT, ".WAV", nullptr);
    EXPECT_EQ(Reg(HKEY_CLASSES_ROOT, type + "\\Shell\\Convert with Tamber\\command", nullptr),
              "<none>");
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_TRUE(Exists(std::string(temp) + "uninst.exe"));  // the temporary copy stays
}

namespace {

BOOL CALLBACK FindHelpText(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<std::pair<std::string, bool>*>(lp);
    s->second = s->second || Shows(w, s->first);
    return TRUE;
}

// Whether some window of the help viewer shows the text.
bool HelpShows(const char* text) {
    std::pair<std::string, bool> s{text, false};
    EnumWindows(FindHelpText, reinterpret_cast<LPARAM>(&s));
    return s.second;
}

}  // namespace

// The help file opens at its contents page and at every context number the program passes.
TEST(HelpFile, OpensAtContentsAndEachContext) {
    const std::string hlp = testutil::ScratchDir() + "\\tamber.hlp";
    ASSERT_TRUE(CopyFileA(Built("tamber.hlp").c_str(), hlp.c_str(), FALSE));
    HWND owner =
        CreateWindowA("STATIC", "help owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    struct Case {
        UINT command;
        DWORD context;
        const char* text;
    };
    for (const Case& c : {Case{HELP_CONTENTS, 0, "Tamber Help Contents"},
                          Case{HELP_CONTEXT, 941, "Headerless audio has no description"},
                          Case{HELP_CONTEXT, 961, "WAV Compression Format"}}) {
        ASSERT_TRUE(WinHelpA(owner, hlp.c_str(), c.command, c.context)) << c.context;
        EXPECT_TRUE(WaitFor([&] { return HelpShows(c.text); })) << c.context;
    }
    WinHelpA(owner, hlp.c_str(), HELP_QUIT, 0);
    DestroyWindow(owner);
}
