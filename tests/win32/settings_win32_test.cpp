// The registry back end: REG_SZ values under HKLM/HKCU "Software\Velmora\Tamber\<section>".
#include "tests/win32/support/wintest.h"
// The security descriptor calls need windows.h first.
#include <sddl.h>

#include "store/combohistory.h"
#include "store/encsettings.h"
#include "store/registry.h"
#include "store/settings.h"

namespace {

TEST(Registry, ValuesAreTextWithTheirTerminatingZero) {
    SettingsWriteInt("Settings", "OutputFormat", -3);
    SettingsWriteBool("Settings", "AlwaysPrompt", true);
    SettingsWriteString("Settings", "OutputFolder", "C:\\out");
    const std::string key = "Software\\Velmora\\Tamber\\Settings";
    for (auto [value, text] : {std::pair{"OutputFormat", "-3"}, {"AlwaysPrompt", "1"}}) {
        DWORD type = 0, size = 0;
        EXPECT_EQ(wintest::RegRead(HKEY_LOCAL_MACHINE, key, value, &type, &size), text);
        EXPECT_EQ(std::pair(type, size), std::pair(DWORD(REG_SZ), DWORD(strlen(text) + 1)))
            << value;
    }
    EXPECT_EQ(SettingsReadInt("Settings", "OutputFormat", 0), -3);

    LMP3EncodeSettings mp3;
    mp3.constantBitRate = false;
    mp3.vbrMaxBitRate = 192;
    mp3.Store();
    EXPECT_EQ(wintest::Setting("MP3Encoder", "ConstantBitRate"), "0");
    EXPECT_EQ(wintest::Setting("MP3Encoder", "VBRMaxBitRate"), "192");

    // Per-user history lives under HKEY_CURRENT_USER.
    UserSettingsDeleteValue("OutputFolder", "Count");
    ComboHistorySaveText("OutputFolder", "D:\\music");
    EXPECT_EQ(
        wintest::RegRead(HKEY_CURRENT_USER, "Software\\Velmora\\Tamber\\OutputFolder", "Item 1"),
        "D:\\music");
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

// A user who may not write the machine-wide store keeps his settings per user, a value that can
// be stored nowhere is reported, and a later machine-wide write drops the user's copy.
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
    char out[260];
    EXPECT_FALSE(RegistryReadString(LRegistryRoot::CurrentUser, key, "Value", out, ""));
    EXPECT_EQ(SettingsReadInt("Locked", "Value", 0), 4);
    SettingsSetWriteFailureHandler(nullptr);
    RegistryDeleteKey(LRegistryRoot::LocalMachine, key);
    RegistryDeleteKey(LRegistryRoot::CurrentUser, key);
}

}  // namespace
