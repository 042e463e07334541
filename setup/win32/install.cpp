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
#include "support/version.h"
#include "support/win32/dialog.h"

namespace {

constexpr int kAgree = 101;
constexpr int kDisagree = 102;
constexpr int kLicenceText = 103;
constexpr DWORD kChunk = 4096;

const char kLicence[] = TAMBER_NAME_VERSION
    " - Software Licence Terms\r\n\r\n"
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

// Reads the payload from the start of the running file in chunks: adds every byte to sum,
// writes it to out when there is one, shows progress over both passes and watches for cancel.
struct PayloadReader {
    LProgressDialog* dlg;
    HANDLE in;
    double done, total;  // bytes read in both passes, and twice the payload
    uint32_t sum = 0;
    std::vector<uint8_t> chunk = std::vector<uint8_t>(kChunk);

    // The next size bytes; written is cleared when out cannot take them.
    int Read(uint32_t size, HANDLE out, bool& written) {
        while (size) {
            const DWORD want = size < kChunk ? size : kChunk;
            DWORD got = 0, put = 0;
            if (!ReadFile(in, chunk.data(), want, &got, nullptr) || got != want)
                return LPROCESS_FAILED;
            sum = SetupChecksumAdd(sum, chunk.data(), got);
            if (out != INVALID_HANDLE_VALUE && written &&
                (!WriteFile(out, chunk.data(), got, &put, nullptr) || put != got))
                written = false;
            size -= got;
            done += got;
            dlg->SetProgress(total > 0 ? done / total : 1.0);
            if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        }
        return LPROCESS_OK;
    }
};

// The sizes and the checksum from the trailer; false unless the sizes and the trailer make up
// the whole file.
bool ReadTrailer(HANDLE in, int count, std::vector<uint32_t>& sizes, uint32_t& sum) {
    sizes.assign(count, 0);
    std::vector<uint8_t> trailer(SetupTrailerSize(count));
    LARGE_INTEGER length, back;
    back.QuadPart = -static_cast<LONGLONG>(trailer.size());
    DWORD got = 0;
    if (!GetFileSizeEx(in, &length) || !SetFilePointerEx(in, back, nullptr, FILE_END) ||
        !ReadFile(in, trailer.data(), DWORD(trailer.size()), &got, nullptr) ||
        got != trailer.size() || SetFilePointer(in, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    LONGLONG expected = static_cast<LONGLONG>(trailer.size());
    for (int i = 0; i < count; ++i) expected += sizes[i] = LoadLE32(&trailer[4 * i]);
    sum = LoadLE32(&trailer[4 * count]);
    return expected == length.QuadPart;
}

// The passing name of a target: its file name with "~" in front, in the same folder.
bool PassingPath(char* dest, const char* target) {
    const char* name = std::strrchr(target, '\\');
    name = name ? name + 1 : target;
    const int n = std::snprintf(dest, MAX_PATH, "%.*s~%s", int(name - target), target, name);
    return n > 0 && n < MAX_PATH;
}

// Checks the running file's sizes and checksum, then copies each payload file under its
// passing name and, once every byte has been read and checked again, renames it into place:
// a broken setup file, a cancel or a read failure leaves the installed files as they were.
// Targets that could not be written are listed in failed.
int Extract(LProgressDialog* dlg, const char* folder, std::string& failed) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH - 1);
    HANDLE in =
        CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return LPROCESS_FAILED;
    const int count = SetupFileCount();
    std::vector<uint32_t> sizes;
    uint32_t stored = 0;
    const bool laidOut = ReadTrailer(in, count, sizes, stored);
    double total = 0;
    for (uint32_t s : sizes) total += 2.0 * s;
    PayloadReader reader{dlg, in, 0, total};
    int status = laidOut ? LPROCESS_OK : LPROCESS_FAILED;
    bool unused = false;
    dlg->SetText("Checking installation file", 0);
    for (int i = 0; i < count && status == LPROCESS_OK; ++i)
        status = reader.Read(sizes[i], INVALID_HANDLE_VALUE, unused);
    bool corrupt = status == LPROCESS_FAILED || (status == LPROCESS_OK && reader.sum != stored);
    if (!corrupt && status == LPROCESS_OK) {
        status = SetFilePointer(in, 0, nullptr, FILE_BEGIN) == 0 ? LPROCESS_OK : LPROCESS_FAILED;
        reader.sum = 0;
    }
    std::vector<std::string> targets(count), passing(count);
    std::vector<bool> written(count, false);
    for (int i = 0; i < count && !corrupt && status == LPROCESS_OK; ++i) {
        if (!sizes[i]) continue;
        dlg->SetText(kSetupFiles[i].name, 0);
        char target[MAX_PATH] = {}, temp[MAX_PATH] = {};
        HANDLE out = INVALID_HANDLE_VALUE;
        if (SetupTargetPath(target, folder, kSetupFiles[i]) && PassingPath(temp, target))
            out = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        targets[i] = target[0] ? target : kSetupFiles[i].name;
        if (out != INVALID_HANDLE_VALUE) passing[i] = temp;
        // The bytes are still read and counted, so that the checksum stays meaningful.
        bool ok = out != INVALID_HANDLE_VALUE;
        status = reader.Read(sizes[i], out, ok);
        if (out != INVALID_HANDLE_VALUE) {
            ok = FlushFileBuffers(out) && ok;
            CloseHandle(out);
        }
        written[i] = ok;
    }
    CloseHandle(in);
    // A file changed since the check is as broken as one that failed it.
    corrupt =
        corrupt || status == LPROCESS_FAILED || (status == LPROCESS_OK && reader.sum != stored);
    for (int i = 0; i < count; ++i) {
        if (passing[i].empty()) {
            if (sizes[i] && status == LPROCESS_OK && !corrupt) failed += "\n" + targets[i];
        } else if (status != LPROCESS_OK || corrupt || !written[i] ||
                   !MoveFileExA(passing[i].c_str(), targets[i].c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DeleteFileA(passing[i].c_str());
            if (status == LPROCESS_OK && !corrupt) failed += "\n" + targets[i];
        }
    }
    if (corrupt && status != LPROCESS_STOPPED) {
        MessageBoxA(static_cast<HWND>(dlg->GetWindow()), kCorrupt, "Install Error",
                    MB_OK | MB_ICONWARNING);
        status = LPROCESS_FAILED;
    }
    return status;
}

// The folders made for the installation go again when nothing was put in them.
void RemoveEmptyFolders(const char* folder) {
    char parent[MAX_PATH];
    std::snprintf(parent, sizeof parent, "%s", folder);
    RemoveDirectoryA(folder);
    if (char* cut = std::strrchr(parent, '\\')) {
        *cut = 0;
        RemoveDirectoryA(parent);
    }
}

int InstallPayload(LProgressDialog* dlg, InstallRecord* rec) {
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
        RemoveEmptyFolders(rec->folder);
        return LPROCESS_FAILED;
    }
    std::string failed;
    const int status = Extract(dlg, rec->folder, failed);
    if (status != LPROCESS_OK) {
        RemoveEmptyFolders(rec->folder);
        return status;
    }
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
    LProgressProcess<InstallRecord, InstallPayload> dlg(LSETUP_TITLE, &rec);
    dlg.Run(nullptr);
    return dlg.status == LPROCESS_OK;
}
