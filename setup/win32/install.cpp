// The install process: licence wizard, extraction of the payload with its checksum, finishing.
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell.h"
#include "setup/payload.h"
#include "setup/win32/setup.h"
#include "support/byteorder.h"
#include "support/progress.h"
#include "support/win32/dialog.h"

namespace {

constexpr int kAgree = 101;
constexpr int kDisagree = 102;
constexpr int kLicenceText = 103;
constexpr DWORD kChunk = 4096;

const char kLicence[] =
    "Tamber v 1.05 - Software Licence Terms\r\n\r\n"
    "Tamber is provided \"as is\", without warranty of any kind. You may install and use it on "
    "any number of computers and pass on unchanged copies of the setup file.\r\n\r\n"
    "The MP3 encoder installed with Tamber is LAME, free software under the GNU Lesser General "
    "Public License; its source is available from the LAME project and from Debian.\r\n\r\n"
    "In no event shall the authors be liable for any damage arising from the use of this "
    "software.";

const char kCorrupt[] =
    "Installation file corrupt.\n\nA checksum error was detected in your install file, please "
    "redownload file and install again.";

class LicencePage : public LWizardPage {
  public:
    LicencePage() : LWizardPage(PSWIZB_DISABLEDFINISH) {}
    void InitDialog() override { SetDlgItemTextA(hwnd_, kLicenceText, kLicence); }
    // After every command: Finish stays disabled until a choice is made; its text follows it.
    void EnableControls() override {
        const bool refused = IsDlgButtonChecked(hwnd_, kDisagree) == BST_CHECKED;
        const bool chosen = refused || IsDlgButtonChecked(hwnd_, kAgree) == BST_CHECKED;
        SendMessageA(GetParent(hwnd_), PSM_SETFINISHTEXT, 0,
                     reinterpret_cast<LPARAM>(refused ? "Close" : "&Install"));
        wizardButtons = chosen ? PSWIZB_FINISH : PSWIZB_DISABLEDFINISH;
        SendMessageA(GetParent(hwnd_), PSM_SETWIZBUTTONS, 0, wizardButtons);
    }
    bool CmOk() override {
        agreed = IsDlgButtonChecked(hwnd_, kAgree) == BST_CHECKED;
        return true;
    }
    bool WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lp)->code == PSN_QUERYCANCEL) {
            const int answer = MessageBoxA(
                GetParent(hwnd_),
                "Setup is not complete. If you quit now, the program will not be installed.\r\n\r\n"
                "You may run the setup program again at another time to complete the "
                "installation.\r\n\r\nExit Setup?",
                "Exit Setup", MB_OKCANCEL | MB_ICONQUESTION);
            SetMessageResult(answer == IDOK ? FALSE : TRUE);
            return true;
        }
        return LWizardPage::WindowProc(msg, wp, lp);
    }
    bool agreed = false;
};

struct InstallRecord {
    char folder[MAX_PATH];
};

// Copies the payload from the start of the running file; LPROCESS_OK with checksum left 0.
int Extract(LProgressDialog* dlg, const char* folder, std::string& failed) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH - 1);
    HANDLE in =
        CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return LPROCESS_FAILED;
    const int count = SetupFileCount();
    std::vector<uint8_t> trailer(SetupTrailerSize(count));
    LARGE_INTEGER back;
    back.QuadPart = -static_cast<LONGLONG>(trailer.size());
    DWORD got = 0;
    if (!SetFilePointerEx(in, back, nullptr, FILE_END) ||
        !ReadFile(in, trailer.data(), DWORD(trailer.size()), &got, nullptr) ||
        got != trailer.size() || SetFilePointer(in, 0, nullptr, FILE_BEGIN) != 0) {
        CloseHandle(in);
        return LPROCESS_FAILED;
    }
    uint32_t sum = LoadLE32(&trailer[4 * count]);
    double total = 0, copied = 0;
    for (int i = 0; i < count; ++i) total += LoadLE32(&trailer[4 * i]);
    int status = LPROCESS_OK;
    std::vector<uint8_t> chunk(kChunk);
    for (int i = 0; i < count && status == LPROCESS_OK; ++i) {
        uint32_t left = LoadLE32(&trailer[4 * i]);
        if (!left) continue;
        dlg->SetText(kSetupFiles[i].name, 0);
        char target[MAX_PATH];
        HANDLE out = INVALID_HANDLE_VALUE;
        if (SetupTargetPath(target, folder, kSetupFiles[i]))
            out = CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        // The bytes are still read and counted, so that the checksum stays meaningful.
        bool written = out != INVALID_HANDLE_VALUE;
        while (left) {
            const DWORD want = left < kChunk ? left : kChunk;
            if (!ReadFile(in, chunk.data(), want, &got, nullptr) || got != want) {
                status = LPROCESS_FAILED;  // shorter than its size table says
                sum = 1;
                break;
            }
            sum -= SetupChecksumAdd(0, chunk.data(), got);
            DWORD put = 0;
            if (written && (!WriteFile(out, chunk.data(), got, &put, nullptr) || put != got))
                written = false;
            left -= got;
            copied += got;
            dlg->SetProgress(total > 0 ? copied / total : 1.0);
            if (dlg->PumpMessages()) {
                status = LPROCESS_STOPPED;
                break;
            }
        }
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        if (!written) failed += std::string("\n") + target;
    }
    CloseHandle(in);
    if (status == LPROCESS_OK && sum != 0) {
        MessageBoxA(static_cast<HWND>(dlg->GetWindow()), kCorrupt, "Install Error",
                    MB_OK | MB_ICONWARNING);
        status = LPROCESS_FAILED;
    }
    return status;
}

int Process(LProgressDialog* dlg, InstallRecord* rec) {
    HWND window = static_cast<HWND>(dlg->GetWindow());
    SetWindowTextA(window, "Installing Tamber");
    dlg->SetText("Software Licence Terms", 0);
    if (GetFileAttributesA(rec->folder) == INVALID_FILE_ATTRIBUTES) {
        MessageBoxA(window,
                    "To install software you must be logged on as this computer's "
                    "Administrator. If you are not able to do this, ask your computer "
                    "Administrator to log in and run the setup file again.",
                    "Install Error", MB_OK | MB_ICONERROR);
        return LPROCESS_FAILED;
    }
    LicencePage page;
    LSheetPage pages[] = {{"SetupLicencePage", &page, "Licence Agreement",
                           "Please read the following important information before continuing."}};
    if (!LWizardRun(window, pages, 1, "Tamber Setup") || !page.agreed) {
        // Nothing installed: the folders made for the question go again when still empty.
        char parent[MAX_PATH];
        std::snprintf(parent, sizeof parent, "%s", rec->folder);
        RemoveDirectoryA(rec->folder);
        if (char* cut = std::strrchr(parent, '\\')) {
            *cut = 0;
            RemoveDirectoryA(parent);
        }
        return LPROCESS_FAILED;
    }
    std::string failed;
    const int status = Extract(dlg, rec->folder, failed);
    if (status != LPROCESS_OK) return status;
    if (!failed.empty()) {
        const std::string text =
            "Setup could not create these files; the installation is incomplete:" + failed;
        MessageBoxA(window, text.c_str(), "Install Error", MB_OK | MB_ICONERROR);
        return LPROCESS_FAILED;
    }
    dlg->SetText("Finalizing", 0);
    SetupFinish(rec->folder);
    return LPROCESS_OK;
}

}  // namespace

bool SetupRunInstall() {
    InstallRecord rec{};
    ProgramFolder(rec.folder);
    LProgressProcess<InstallRecord> dlg(LSETUP_TITLE, &rec);
    dlg.Run(nullptr);
    return dlg.status == LPROCESS_OK;
}
