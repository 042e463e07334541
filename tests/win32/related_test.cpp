// The maker's related programs under Wine: the wizard page offers only what is missing and
// reports a failed install; a start expands the command template, waits, or asks to download.
#include <windows.h>
// windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "external/components.h"
#include "external/win32/related.h"
#include "store/registry.h"
#include "store/settings.h"
#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace fs = std::filesystem;

namespace {

using wintest::WaitFor;

HWND TopWindow(const char* caption) {
    return FindWindowA(nullptr, caption);
}

void SetTemplate(const char* program, const char* verb, const char* value) {
    std::string key = std::string("Software\\Velmora\\") + program + "\\Settings";
    if (value)
        RegistryWriteString(LRegistryRoot::LocalMachine, key.c_str(), verb, value);
    else
        RegistryDeleteValue(LRegistryRoot::LocalMachine, key.c_str(), verb);
}

void NoServers() {
    SettingsWriteString(kInstallSection, "FirstServer", "127.0.0.1:1");
    SettingsWriteString(kInstallSection, "SecondServer", "127.0.0.1:1");
}

}  // namespace

TEST(RelatedPrograms, WizardOffersMissingProgramsAndReportsAFailedInstall) {
    NoServers();
    SetTemplate("Quorra", "RunEdit", nullptr);
    SetTemplate("Fennix", "CopyCD", "\"C:\\Fennix\\fennix.exe\" %s");
    SetTemplate("Tallowin", "ExtractCD", "");  // empty counts as not installed
    SetTemplate("Mirabel", "RunMirabel", nullptr);
    std::atomic<bool> quorraOffered{false}, fennixOffered{true}, tallowinOffered{false};
    std::atomic<bool> finishIsInstall{false};
    std::string message;
    std::thread driver([&] {
        HWND wizard = nullptr;
        if (!WaitFor([&] { return (wizard = TopWindow("Tamber Install Wizard")) != nullptr; }))
            return;
        HWND page = nullptr;
        WaitFor([&] {
            page = reinterpret_cast<HWND>(SendMessageA(wizard, PSM_GETCURRENTPAGEHWND, 0, 0));
            return page && IsWindowEnabled(GetDlgItem(page, 101));
        });
        quorraOffered =
            IsWindowEnabled(GetDlgItem(page, 101)) && IsWindowEnabled(GetDlgItem(page, 102));
        fennixOffered =
            IsWindowEnabled(GetDlgItem(page, 103)) || IsWindowEnabled(GetDlgItem(page, 104));
        tallowinOffered = IsWindowEnabled(GetDlgItem(page, 105)) != FALSE;
        char finish[32] = {};
        GetWindowTextA(GetDlgItem(wizard, 0x3025), finish, sizeof finish);
        finishIsInstall = std::string(finish) == "Install";
        CheckDlgButton(page, 101, BST_CHECKED);
        CheckDlgButton(page, 107, BST_CHECKED);
        PostMessageA(wizard, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = TopWindow("Error")) != nullptr; })) return;
        message = wintest::MessageText(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_FALSE(LRelatedProgramsWizardRun(nullptr));
    driver.join();
    EXPECT_TRUE(quorraOffered);
    EXPECT_FALSE(fennixOffered);
    EXPECT_TRUE(tallowinOffered);
    EXPECT_TRUE(finishIsInstall);
    // Quorra failed first; Mirabel was skipped.
    EXPECT_EQ(message,
              "Cannot download and install the program \"Quorra\". Please download it manually "
              "following the links from http://www.velmora.com/software.html.");
    SettingsDeleteValue(kInstallSection, "FirstServer");
    SettingsDeleteValue(kInstallSection, "SecondServer");
}

TEST(RelatedPrograms, StartExpandsTheTemplateAndWaits) {
    std::string dir = testutil::ScratchDir();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string exe = dir + "\\actdec.exe";  // the stand-in copies its first file to its second
    ASSERT_TRUE(CopyFileA((fs::path(self).parent_path() / "standin_codec.exe").string().c_str(),
                          exe.c_str(), FALSE));
    std::string input = dir + "\\a song.wav", copy = dir + "\\copy 100%.wav";
    ASSERT_TRUE(testutil::WriteWav16(input, 8000, 1, std::vector<int16_t>(8000, 7)));
    std::string tmpl = "\"" + exe + "\" \"%s\" \"" + dir + "\\copy 100%%.wav\"";
    SetTemplate("Quorra", "RunEdit", tmpl.c_str());
    EXPECT_TRUE(LRelatedProgramRun(nullptr, kRelatedPrograms[0], input, true));
    // Waited for: the copy is complete when the start returns.
    EXPECT_EQ(testutil::ReadFileBytes(copy), testutil::ReadFileBytes(input));
    SetTemplate("Quorra", "RunEdit", nullptr);
}

TEST(RelatedPrograms, MissingProgramAsksToDownload) {
    NoServers();
    SetTemplate("Mirabel", "RunMirabel", nullptr);
    std::string question;
    std::thread driver([&] {
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = TopWindow("Download Required")) != nullptr; })) return;
        question = wintest::MessageText(box);
        PostMessageA(box, WM_COMMAND, IDNO, 0);
    });
    EXPECT_FALSE(LRelatedProgramRun(nullptr, kRelatedPrograms[3], "", false));
    driver.join();
    EXPECT_EQ(question,
              "The free plugin \"Mirabel\" program is required. Do you want to download it now?");
    SettingsDeleteValue(kInstallSection, "FirstServer");
    SettingsDeleteValue(kInstallSection, "SecondServer");
}
