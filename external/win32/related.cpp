// Starting the maker's related programs and the wizard page that installs them on request.
#include "external/win32/related.h"

#include <shellapi.h>

#include <cstdio>

#include "external/components.h"
#include "store/registry.h"
#include "support/file.h"
#include "support/trace.h"
#include "support/waitable.h"
#include "support/win32/dialog.h"

const LRelatedProgram kRelatedPrograms[4] = {
    {"Quorra", "RunEdit", "qusetup", "Quorra", "Run Quorra", "quorra/index"},
    {"Fennix", "CopyCD", "fnsetup", "Fennix", "Run Fennix", "fennix/index"},
    {"Tallowin", "ExtractCD", "tlsetup", "Tallowin", "Run Tallowin", "tallowin/index"},
    {"Mirabel", "RunMirabel", "mrsetup", "Mirabel", "Run Mirabel", "mirabel/index"},
};

namespace {

bool ReadTemplate(const LRelatedProgram& p, char* out) {
    char key[LMAX_PATH];
    std::snprintf(key, sizeof key, "Software\\Velmora\\%s\\Settings", p.key);
    return RegistryReadString(LRegistryRoot::LocalMachine, key, p.verb, out, "");
}

// The template with its first "%s" replaced by the argument ("%%" stands for "%"); the
// template comes from the registry, so it is never used as a format string.
std::string Expand(const char* tmpl, const std::string& argument) {
    std::string out;
    bool used = false;
    for (const char* p = tmpl; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !used) {
            out += argument;
            used = true;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace

bool LRelatedProgramInstalled(const LRelatedProgram& program) {
    char value[LMAX_PATH];
    return ReadTemplate(program, value) && value[0] != 0;
}

int LRunRelatedProgram(LProgressDialog* dlg, LRunRelated* data) {
    const LRelatedProgram& p = *data->program;
    char tmpl[LMAX_PATH];
    if (!ReadTemplate(p, tmpl)) {
        if (ProcessInstallProgram(dlg, p.setup) == LPROCESS_STOPPED) return LPROCESS_STOPPED;
        ReadTemplate(p, tmpl);
    }
    if (!tmpl[0]) {
        char question[256];
        std::snprintf(question, sizeof question,
                      "The free plugin \"%s\" program is required. Do you want to download it now?",
                      p.display);
        HWND owner = static_cast<HWND>(dlg->GetWindow());
        if (MessageBoxA(owner ? owner : data->owner, question, "Download Required",
                        MB_YESNOCANCEL | MB_ICONQUESTION) == IDYES) {
            char url[LMAX_PATH];
            std::snprintf(url, sizeof url, "http://www.velmora.com/%s.html", p.page);
            ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
        }
        return LPROCESS_FAILED;
    }
    std::string cmd = Expand(tmpl, data->argument);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &si, &pi)) {
        LTrace("RunRelatedProgram CreateProcess FAILED");
        return LPROCESS_FAILED;
    }
    CloseHandle(pi.hThread);
    if (data->wait) {
        char line[128];
        std::snprintf(line, sizeof line, "Please wait for %s", p.display);
        dlg->SetText(line, 0);
        dlg->SetText("to close to continue...", 1);
        // The wait object owns a duplicate of the process handle.
        HANDLE dup = nullptr;
        DuplicateHandle(GetCurrentProcess(), pi.hProcess, GetCurrentProcess(), &dup, SYNCHRONIZE,
                        FALSE, 0);
        struct Handle : LWaitable {
            HANDLE h;
            explicit Handle(HANDLE x) : h(x) {}
            ~Handle() override {
                if (h) CloseHandle(h);
            }
            intptr_t NativeHandle() const override { return reinterpret_cast<intptr_t>(h); }
            bool WaitFor(uint32_t ms) override {
                return !h || WaitForSingleObject(h, ms) != WAIT_TIMEOUT;
            }
        } waitable(dup);
        dlg->WaitForObject(waitable, 3600000);
    }
    CloseHandle(pi.hProcess);
    return LPROCESS_OK;
}

bool LRelatedProgramRun(HWND owner, const LRelatedProgram& program, const std::string& argument,
                        bool wait) {
    LRunRelated rec;
    rec.program = &program;
    rec.argument = argument;
    rec.wait = wait;
    rec.owner = owner;
    LProgressProcess<LRunRelated, LRunRelatedProgram> dlg(program.caption, &rec);
    dlg.Run(owner);
    return dlg.status == LPROCESS_OK;
}

namespace {

constexpr int kFirstBox = 101;  // boxes 101, 103, 105, 107; descriptions one higher

class LRelatedProgramsPage : public LWizardPage {
  public:
    LRelatedProgramsPage() : LWizardPage(PSWIZB_FINISH) {}

    void EnableControls() override {
        for (int i = 0; i < 4; ++i) {
            bool offer = !LRelatedProgramInstalled(kRelatedPrograms[i]);
            EnableControlRange(kFirstBox + 2 * i, kFirstBox + 2 * i + 1, offer);
            if (!offer) CheckDlgButton(hwnd_, kFirstBox + 2 * i, BST_UNCHECKED);
        }
        SendMessageA(GetParent(hwnd_), PSM_SETFINISHTEXT, 0, reinterpret_cast<LPARAM>("Install"));
    }
    bool CmOk() override {
        for (int i = 0; i < 4; ++i)
            ticked[i] = IsDlgButtonChecked(hwnd_, kFirstBox + 2 * i) == BST_CHECKED &&
                        IsWindowEnabled(GetItem(kFirstBox + 2 * i));
        return true;
    }
    bool ticked[4] = {};
};

struct LInstallProgram {
    const char* setup;
};
int LInstallRelatedProgram(LProgressDialog* dlg, LInstallProgram* data) {
    return ProcessInstallProgram(dlg, data->setup);
}

}  // namespace

bool LRelatedProgramsWizardRun(HWND owner) {
    LRelatedProgramsPage page;
    LSheetPage pages[] = {{"RelatedProgramsPage", &page}};
    if (!LWizardRun(owner, pages, 1, "Tamber Install Wizard")) return false;
    for (int i = 0; i < 4; ++i) {
        if (!page.ticked[i]) continue;
        const LRelatedProgram& p = kRelatedPrograms[i];
        char title[64];
        std::snprintf(title, sizeof title, "Installing %s", p.display);
        LInstallProgram rec{p.setup};
        LProgressProcess<LInstallProgram, LInstallRelatedProgram> dlg(title, &rec);
        dlg.Run(owner);
        if (dlg.status != LPROCESS_OK) {
            char text[320];
            std::snprintf(text, sizeof text,
                          "Cannot download and install the program \"%s\". Please download it "
                          "manually following the links from %s.",
                          p.display, kSoftwareWebPage);
            MessageBoxA(owner, text, nullptr, MB_OK | MB_ICONERROR);
            return false;
        }
    }
    return true;
}
