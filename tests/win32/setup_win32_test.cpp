// The distributed files under Wine: the setup file and the cross-built LAME behind tamber.exe.
#include <cstdlib>

#include "formats/mp3.h"
#include "tests/support/soundutil.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

const char kCorrupt[] =
    "Installation file corrupt.\n\nA checksum error was detected in your install file, please "
    "redownload file and install again.";
const std::string kFolder = "C:\\Program Files\\Velmora\\Tamber";
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tamber";

std::string ShellFolder(const char* common, const char* own) {
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    std::string f = RegRead(HKEY_LOCAL_MACHINE, key, common);
    return f != "<none>" && !f.empty() ? f : RegRead(HKEY_CURRENT_USER, key, own);
}

// Nothing installed and no uninstall entry.
void ExpectNotInstalled() {
    EXPECT_FALSE(fs::exists(kFolder + "\\uninst.exe"));
    EXPECT_EQ(RegRead(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "<none>");
}

// An installation already there: setup files that fail, or a cancelled one, leave it alone.
void PlantInstallation() {
    fs::create_directories(kFolder);
    for (const char* name : {"tamber.exe", "tamber.hlp"})
        testutil::WriteFileBytes(kFolder + "\\" + name, {'o', 'l', 'd'});
}
void ExpectPlantedKept() {
    for (const char* name : {"tamber.exe", "tamber.hlp"})
        EXPECT_TRUE(testutil::ReadText(kFolder + "\\" + name) == "old") << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(kFolder), {}), 2);  // no passing files left
}

std::string Variant(const char* name) {
    const char* dir = std::getenv("TAMBER_SETUP_VARIANTS");
    return std::string(dir ? dir : "") + "\\" + name;
}

// Starts a variant, accepts the licence, presses Install (0x3025); if asked, first a Cancel kept.
HANDLE StartInstall(const char* variant, bool cancelFirst = false) {
    HANDLE p = Start(Variant(variant));
    HWND sheet = WaitDialog("Tamber Setup"), finish = GetDlgItem(sheet, 0x3025);
    EXPECT_TRUE(sheet && WaitFor([&] { return !IsWindowEnabled(finish); }, 5000));
    if (cancelFirst) {
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        EXPECT_TRUE(Answer("Exit Setup", IDCANCEL,
                           "Setup is not complete. If you quit now, the program will not be "
                           "installed.\r\n\r\nYou may run the setup program again at another "
                           "time to complete the installation.\r\n\r\nExit Setup?"));
    }
    Click(SheetPage(sheet), 101);
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(finish); }, 5000));
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    return p;
}

BOOL CALLBACK FindHelpText(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<std::pair<std::string, bool>*>(lp);
    s->second = s->second || Shows(w, s->first);
    return TRUE;
}

}  // namespace

// Cut short, short of payload, a changed payload byte, or a folder that cannot be made: refused
// with a message, the installed files untouched.
TEST(SetupFile, TruncatedCorruptAndUncreatableRefuse) {
    PlantInstallation();
    HANDLE p = Start(Variant("cut-setup.exe"));
    EXPECT_TRUE(Answer("Install Error", IDOK, kCorrupt));
    EXPECT_TRUE(Ended(p, 10000));
    for (const char* variant : {"changed-setup.exe", "short-setup.exe"}) {
        p = StartInstall(variant);
        EXPECT_TRUE(Answer("Install Error", IDOK, kCorrupt)) << variant;
        EXPECT_TRUE(Ended(p));
        ExpectPlantedKept();
    }
    ExpectNotInstalled();

    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion";
    const std::string programs = RegRead(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir");
    RegWrite(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", "Q:\\no drive");
    p = Start(Variant("tamber-setup.exe"));
    HWND box = WaitDialog("Install Error");
    RegWrite(HKEY_LOCAL_MACHINE, key, "ProgramFilesDir", programs.c_str());
    EXPECT_TRUE(box && Answer("Install Error", IDOK,
                              "To install software you must be logged on as this computer's "
                              "Administrator. If you are not able to do this, ask your computer "
                              "Administrator to log in and run the setup file again."));
    EXPECT_TRUE(Ended(p));
}

// Cancel during a long extraction, or a file that cannot be written, ends the install unfinished.
TEST(SetupFile, CancelDuringExtraction) {
    PlantInstallation();
    HANDLE p = StartInstall("big-setup.exe");
    HWND progress = WaitDialog("Installing Tamber");
    ASSERT_TRUE(WaitFor([&] { return Shows(progress, "tamber.hlp"); }));
    Command(progress, IDCANCEL);
    EXPECT_TRUE(Ended(p));
    ExpectPlantedKept();
    ExpectNotInstalled();

    const std::string blocked = kFolder + "\\lame.exe";  // a folder in the file's place
    DeleteFileA(blocked.c_str());
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    p = StartInstall("tamber-setup.exe");
    EXPECT_TRUE(Answer("Install Error", IDOK, "installation is incomplete:\n" + blocked));
    EXPECT_TRUE(Ended(p));
    ExpectNotInstalled();
    RemoveDirectoryA(blocked.c_str());
}

// Install, the installed program with its encoder, then uninstall.
TEST(SetupFile, InstallsRunsAndUninstalls) {
    EXPECT_TRUE(Ended(StartInstall("tamber-setup.exe", true), 60000));

    // The installed program started with "/install": its related-programs offer comes up.
    EXPECT_TRUE(Answer("Tamber Install Wizard", IDCANCEL));
    EXPECT_TRUE(Answer("Tamber Plus", IDCANCEL));

    const std::string exe = kFolder + "\\tamber.exe", uninst = kFolder + "\\uninst.exe";
    const std::string group = ShellFolder("Common Programs", "Programs") + "\\Tamber";
    const std::string desktop = ShellFolder("Common Desktop", "Desktop") + "\\Tamber.lnk";
    for (const std::string& link : {group + "\\Tamber.lnk", group + "\\Tamber Help.lnk", desktop})
        EXPECT_TRUE(fs::exists(link)) << link;
    EXPECT_EQ(RegRead(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Tamber Uninstall");
    EXPECT_EQ(RegRead(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), uninst);
    EXPECT_EQ(Setting("Settings", "Convert"), "\"" + exe + "\" \"%s\"");
    EXPECT_EQ(Setting("Settings", "Load"), "\"" + exe + "\" %s");
    const auto verb = [](const char* ext) {
        const std::string type = RegRead(HKEY_CLASSES_ROOT, ext, nullptr);
        return RegRead(HKEY_CLASSES_ROOT, type + "\\Shell\\Convert with Tamber\\command", nullptr);
    };
    for (const char* ext : {".WAV", ".MP3", ".DCT"})
        EXPECT_EQ(verb(ext), "\"" + exe + "\" \"%L\"") << ext;
    // The installed program converts through the cross-built LAME.
    const std::string dir = testutil::ScratchDir();
    const std::vector<int16_t> in = testutil::Sine(44100, 2, 44100, 440, 12000);
    EXPECT_TRUE(testutil::WriteWav16(dir + "\\in.wav", 44100, 2, in));
    EXPECT_TRUE(Ended(Start(exe, {"-hide", "-format", ".mp3", "-outfolder", dir, dir + "\\in.wav",
                                  "-convert", "-exit"}),
                      60000));
    LMP3Source mp3((dir + "\\in.mp3").c_str());
    EXPECT_GT(
        testutil::SnrDbBestOffset({in.begin(), in.begin() + 40000}, testutil::ReadAll16(mp3), 6000),
        10.0);

    EXPECT_TRUE(Ended(Start(uninst)));
    EXPECT_TRUE(Answer("Uninstall Tamber", IDYES,
                       "Are you sure you want to remove Tamber from this computer?"));
    // The shared settings go last.
    EXPECT_TRUE(WaitFor([&] { return Setting("Settings", "Convert") == "<none>"; }));
    for (const std::string& gone : {kFolder, desktop, group})
        EXPECT_FALSE(fs::exists(gone)) << gone;
    ExpectNotInstalled();
    EXPECT_EQ(verb(".WAV"), "<none>");
}

// The help file opens at its contents page and at every context number the program passes.
TEST(HelpFile, OpensAtContentsAndEachContext) {
    const std::string hlp = testutil::ScratchDir() + "\\tamber.hlp";
    ASSERT_TRUE(CopyFileA(Built("tamber.hlp").c_str(), hlp.c_str(), FALSE));
    HWND owner =
        CreateWindowA("STATIC", "help owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (auto [command, context, text] :
         {std::tuple{UINT(HELP_CONTENTS), DWORD(0), "Tamber Help Contents"},
          {HELP_CONTEXT, 941, "Headerless audio has no description"},
          {HELP_CONTEXT, 961, "WAV Compression Format"}}) {
        ASSERT_TRUE(WinHelpA(owner, hlp.c_str(), command, context)) << context;
        std::pair<std::string, bool> seen{text, false};  // some window of the viewer shows it
        EXPECT_TRUE(WaitFor([&] {
            EnumWindows(FindHelpText, reinterpret_cast<LPARAM>(&seen));
            return seen.second;
        })) << context;
    }
    WinHelpA(owner, hlp.c_str(), HELP_QUIT, 0);
    DestroyWindow(owner);
}
