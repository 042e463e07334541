// The maker's related programs: the wizard offers what is missing; starts expand and wait.
#include "external/win32/related.h"

#include "external/components.h"
#include "store/settings.h"
#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;

void SetTemplate(const char* program, const char* verb, const char* value) {
    RegWrite(HKEY_LOCAL_MACHINE, std::string("Software\\Velmora\\") + program + "\\Settings", verb,
             value);
}

}  // namespace

TEST(RelatedPrograms, WizardOffersMissingProgramsAndReportsAFailedInstall) {
    for (const char* server : {"FirstServer", "SecondServer"})
        SettingsWriteString(kInstallSection, server, "127.0.0.1:1");
    SetTemplate("Quorra", "RunEdit", nullptr);
    SetTemplate("Fennix", "CopyCD", "\"C:\\Fennix\\fennix.exe\" %s");
    SetTemplate("Tallowin", "ExtractCD", "");  // empty counts as not installed
    SetTemplate("Mirabel", "RunMirabel", nullptr);
    const auto driver = [&](HWND wizard) {
        HWND page = nullptr;
        WaitFor(
            [&] { return (page = SheetPage(wizard)) && IsWindowEnabled(GetDlgItem(page, 101)); });
        // Enabled: Quorra (101, 102) and Tallowin (105); Fennix (103, 104) is installed.
        std::string enabled;
        for (int id = 101; id <= 105; ++id)
            enabled += IsWindowEnabled(GetDlgItem(page, id)) ? '+' : '-';
        EXPECT_EQ(enabled, "++--+");
        CheckDlgButton(page, 101, BST_CHECKED);
        CheckDlgButton(page, 107, BST_CHECKED);
        PostMessageA(wizard, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
        // Quorra failed first; Mirabel was skipped.
        EXPECT_TRUE(
            Answer("Error", IDOK,
                   "Cannot download and install the program \"Quorra\". Please download it "
                   "manually following the links from http://www.velmora.com/software.html."));
    };
    EXPECT_FALSE(Driving("Tamber Install Wizard", driver,
                         [] { return LRelatedProgramsWizardRun(nullptr); }));

    // A missing program asked for is offered for download.
    EXPECT_FALSE(Driving(
        "Download Required",
        [](HWND) {
            Answer(
                "Download Required", IDNO,
                "The free plugin \"Mirabel\" program is required. Do you want to download it now?");
        },
        [] { return LRelatedProgramRun(nullptr, kRelatedPrograms[3], "", false); }));
    for (const char* server : {"FirstServer", "SecondServer"})
        SettingsDeleteValue(kInstallSection, server);
}

TEST(RelatedPrograms, StartExpandsTheTemplateAndWaits) {
    std::string dir = testutil::ScratchDir();
    std::string exe = dir + "\\actdec.exe";  // the stand-in copies its first file to its second
    ASSERT_TRUE(CopyFileA(Built("tests/standin_codec.exe").c_str(), exe.c_str(), FALSE));
    std::string input = dir + "\\a song.wav", copy = dir + "\\copy 100%.wav";
    ASSERT_TRUE(testutil::WriteWav16(input, 8000, 1, std::vector<int16_t>(8000, 7)));
    std::string tmpl = "\"" + exe + "\" \"%s\" \"" + dir + "\\copy 100%%.wav\"";
    SetTemplate("Quorra", "RunEdit", tmpl.c_str());
    EXPECT_TRUE(LRelatedProgramRun(nullptr, kRelatedPrograms[0], input, true));
    // Waited for: the copy is complete when the start returns.
    EXPECT_EQ(testutil::ReadFileBytes(copy), testutil::ReadFileBytes(input));
    SetTemplate("Quorra", "RunEdit", nullptr);
}
