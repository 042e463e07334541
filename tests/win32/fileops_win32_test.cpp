// Files, folders, sharing, locks and temporary slots across processes; the registry back end.
#include "tests/win32/support/wintest.h"
// The security descriptor calls need windows.h first.
#include <sddl.h>

#include "store/registry.h"
#include "store/settings.h"
#include "support/file.h"
#include "support/fileops.h"

namespace {

TEST(Win32Files, SharingDecidesInUseAndRetries) {
    const std::string path = testutil::ScratchDir() + "\\out.wav";
    LFile writer;
    ASSERT_TRUE(writer.Create(path.c_str()));
    EXPECT_EQ(writer.Write("RIFF", 4), 4);
    EXPECT_TRUE(IsFileInUse(path.c_str()));
    LFile other;
    EXPECT_TRUE(other.Open(path.c_str()));  // readers may look at a file being written
    other.Close();
    DWORD start = GetTickCount();
    EXPECT_FALSE(OpenFileRetrying(other, path.c_str(), LFILE_READ | LFILE_WRITE,
                                  LSHARE_READ | LSHARE_WRITE, 100, LOPEN_ALWAYS));
    EXPECT_LT(GetTickCount() - start, 3000u);
    std::thread release([&] {
        Sleep(40);
        writer.Close();
    });
    EXPECT_TRUE(OpenFileRetrying(other, path.c_str(), LFILE_READ | LFILE_WRITE,
                                 LSHARE_READ | LSHARE_WRITE, 1000, LOPEN_ALWAYS));
    release.join();
    EXPECT_EQ(other.GetFileSizeBytes(), 4);
    other.Close();
    EXPECT_FALSE(IsFileInUse(path.c_str()));
}

TEST(Win32Files, UserFoldersComeFromShellFolders) {
    char docs[LMAX_PATH], data[LMAX_PATH];
    LFile::GetUserDocumentsFolder(docs);
    LFile::GetUserDataFolder(data);
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    EXPECT_EQ(data, wintest::RegRead(HKEY_CURRENT_USER, key, "AppData"));
    EXPECT_TRUE(fs::exists(docs)) << docs;
}

// Child mode: reserve a slot, report its name, hold it until the parent ends this process.
TEST(TempSlotChild, DISABLED_Hold) {
    LPathLock lock;
    char path[LMAX_PATH] = "FAILED";
    ReserveTempWavName(lock, path);
    const std::string report = std::getenv("TAMBER_SLOT_REPORT");
    // Written whole under another name and then renamed, so the parent never reads a part.
    const std::string part = report + ".part";
    testutil::WriteFileBytes(part, std::vector<uint8_t>(path, path + strlen(path)));
    MoveFileA(part.c_str(), report.c_str());
    Sleep(20000);
}

TEST(Win32Files, TempSlotsAreNeverSharedBetweenProcesses) {
    const std::string home = testutil::ScratchDir(), report = home + "\\a.txt";
    SetEnvironmentVariableA("TAMBER_HOME", home.c_str());
    SetEnvironmentVariableA("TAMBER_SLOT_REPORT", report.c_str());
    char path[LMAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    HANDLE child =
        wintest::Start(path, {"--gtest_also_run_disabled_tests", "--gtest_filter=TempSlotChild.*"},
                       CREATE_NO_WINDOW);
    // Its report is complete once it exists; the child then holds its slot.
    ASSERT_TRUE(wintest::WaitFor([&] { return fs::exists(report); }, 20000));
    EXPECT_EQ(testutil::ReadText(report), home + "\\tmp\\Temp1.wav");
    LPathLock mine;
    ASSERT_TRUE(ReserveTempWavName(mine, path));
    EXPECT_EQ(std::string(path), home + "\\tmp\\Temp2.wav");
    mine.Release();
    // The holder is killed: the system removes its lock file.
    TerminateProcess(child, 1);
    wintest::Ended(child);
    EXPECT_FALSE(fs::exists(home + "\\tmp\\Temp1.lck"));
    ASSERT_TRUE(ReserveTempWavName(mine, path));
    EXPECT_EQ(std::string(path), home + "\\tmp\\Temp1.wav");
    SetEnvironmentVariableA("TAMBER_HOME", nullptr);
}

// Values are UTF-16 text with its zero, as the system's own tools write them.
TEST(Registry, ValuesAreTextWithTheirTerminatingZero) {
    SettingsWriteInt("Settings", "OutputFormat", -3);
    DWORD type = 0, size = 0;
    EXPECT_EQ(wintest::RegRead(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber\\Settings",
                               "OutputFormat", &type, &size),
              "-3");
    EXPECT_EQ(std::pair(type, size), std::pair(DWORD(REG_SZ), DWORD(3 * sizeof(wchar_t))));
}

// Gives everyone only the rights to read a key, or all rights again.
void SetKeyRights(HKEY root, const char* path, const char* sddl) {
    HKEY key;
    PSECURITY_DESCRIPTOR sd = nullptr;
    RegCreateKeyExA(root, path, 0, nullptr, 0, WRITE_DAC, nullptr, &key, nullptr);
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), 0);
    LocalFree(sd);
    RegCloseKey(key);
}

// Unwritable machine store: settings kept per user, a lost value reported, later writes win.
TEST(Registry, SettingsFallBackToTheUserStoreAndReportWhatIsLost) {
    static int lost = 0;
    SettingsSetWriteFailureHandler([](const char*, const char*) { ++lost; });
    const char* key = "Software\\Velmora\\Tamber\\Locked";
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        SetKeyRights(root, key, "D:P(A;;KR;;;WD)");
        EXPECT_EQ(SettingsWriteInt("Locked", "Value", 2), root == HKEY_LOCAL_MACHINE);
    }
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(SettingsReadInt("Locked", "Value", 0), 2);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        SetKeyRights(root, key, "D:P(A;;KA;;;WD)");
    EXPECT_TRUE(SettingsWriteInt("Locked", "Value", 4));
    EXPECT_EQ(SettingsReadInt("Locked", "Value", 0), 4);  // the user's copy would read first
    SettingsSetWriteFailureHandler(nullptr);
    RegistryDeleteKey(LRegistryRoot::LocalMachine, key);
    RegistryDeleteKey(LRegistryRoot::CurrentUser, key);
}

}  // namespace
