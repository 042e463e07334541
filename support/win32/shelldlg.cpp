// The system's folder browser and open-file dialog.
#include "support/win32/shelldlg.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "support/file.h"

namespace {

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
    const char* start = reinterpret_cast<const char*>(data);
    if (msg == BFFM_INITIALIZED && start && *start) {
        SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start));
        // Some shells are still filling the tree at this point and drop the selection; asking
        // again once the queue is reached makes it stick (the path outlives the modal dialog).
        PostMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start));
    }
    return 0;
}

}  // namespace

bool BrowseForFolder(HWND owner, const char* title, char* path) {
    HRESULT init = CoInitialize(nullptr);
    char display[MAX_PATH] = {};
    BROWSEINFOA bi = {};
    bi.hwndOwner = owner;
    bi.pszDisplayName = display;
    bi.lpszTitle = title;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(path);
    bool ok = false;
    if (LPITEMIDLIST items = SHBrowseForFolderA(&bi)) {
        char chosen[MAX_PATH] = {};
        if (SHGetPathFromIDListA(items, chosen) && chosen[0]) {
            LCopyPath(path, chosen);
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
    std::vector<char> result(kResultSize + 2, 0);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = result.data();
    ofn.nMaxFile = kResultSize;
    ofn.lpstrInitialDir = folder && *folder ? folder : nullptr;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = defaultExtension;
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return false;
    const char* first = result.data();
    const char* next = first + std::strlen(first) + 1;
    if (*next == 0) {
        // One file: the full path.
        names.emplace_back(first);
        char dir[LMAX_PATH];
        LFile::_GetFolderFromPath(dir, first);
        if (folder) LCopyPath(folder, dir);
        return true;
    }
    // Several files: the folder, then each name.
    if (folder) LCopyPath(folder, first);
    for (; *next; next += std::strlen(next) + 1) {
        char full[LMAX_PATH];
        LCopyPath(full, first);
        LFile::FilePathCat(full, next);
        names.emplace_back(full);
    }
    return true;
}
