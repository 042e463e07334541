// The system's folder browser and open-file dialog.
#include "support/win32/shelldlg.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "support/file.h"
#include "support/win32/wide.h"

namespace {

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
    const auto* start = reinterpret_cast<const std::wstring*>(data);
    if (msg == BFFM_INITIALIZED && start && !start->empty()) {
        SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->c_str()));
        // Some shells are still filling the tree at this point and drop the selection; asking
        // again once the queue is reached makes it stick (the path outlives the modal dialog).
        PostMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start->c_str()));
    }
    return 0;
}

// A list of zero-ended texts ended by a second zero, in UTF-16.
std::wstring WideList(const char* list) {
    std::wstring wide;
    for (const char* p = list; p && *p; p += std::strlen(p) + 1) {
        wide += LWide(p);
        wide += L'\0';
    }
    wide += L'\0';
    return wide;
}

}  // namespace

bool BrowseForFolder(HWND owner, const char* title, char* path) {
    HRESULT init = CoInitialize(nullptr);
    wchar_t display[MAX_PATH] = {};
    const std::wstring wideTitle = LWide(title), start = LWide(path);
    BROWSEINFOW bi = {};
    bi.hwndOwner = owner;
    bi.pszDisplayName = display;
    bi.lpszTitle = wideTitle.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(&start);
    bool ok = false;
    if (LPITEMIDLIST items = SHBrowseForFolderW(&bi)) {
        wchar_t chosen[MAX_PATH] = {};
        // A folder whose path does not fit a path buffer is not taken, rather than cut.
        char utf8[LMAX_PATH];
        if (SHGetPathFromIDListW(items, chosen) && chosen[0] &&
            LUtf8To(utf8, sizeof utf8, chosen)) {
            LCopyPath(path, utf8);
            ok = true;
        }
        IMalloc* shellMalloc = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellMalloc)) && shellMalloc) {
            shellMalloc->Free(items);
            shellMalloc->Release();
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return ok;
}

bool ChooseFilesToOpen(HWND owner, char* folder, const char* title, const char* filter,
                       const char* defaultExtension, std::vector<std::string>& names) {
    names.clear();
    constexpr DWORD kResultSize = 65535;
    std::vector<wchar_t> result(kResultSize + 2, 0);
    const std::wstring wideFilter = WideList(filter), wideFolder = LWide(folder),
                       wideTitle = LWide(title), wideExtension = LWide(defaultExtension);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = wideFilter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = result.data();
    ofn.nMaxFile = kResultSize;
    ofn.lpstrInitialDir = wideFolder.empty() ? nullptr : wideFolder.c_str();
    ofn.lpstrTitle = wideTitle.c_str();
    ofn.lpstrDefExt = wideExtension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return false;
    const wchar_t* first = result.data();
    const wchar_t* next = first + std::wcslen(first) + 1;
    const std::string firstText = LUtf8(first);
    if (*next == 0) {
        // One file: the full path.
        names.push_back(firstText);
        char dir[LMAX_PATH];
        LFile::_GetFolderFromPath(dir, firstText.c_str());
        if (folder) LCopyPath(folder, dir);
        return true;
    }
    // Several files: the folder, then each name (the whole path is kept: one that is too long
    // is refused with a message where it is added, never cut).
    if (folder) LCopyPath(folder, firstText.c_str());
    for (; *next; next += std::wcslen(next) + 1) {
        std::string full = firstText;
        if (!full.empty() && !LIsPathSeparator(full.back())) full += '\\';
        names.push_back(full + LUtf8(next));
    }
    return true;
}
