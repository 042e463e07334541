// The system's folder browser and open-file dialog (Windows only).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Shows the folder browser (file-system folders only) with `path` preselected; on success the
// chosen folder is written back to `path` (LMAX_PATH characters) and the result is true.
bool BrowseForFolder(HWND owner, const char* title, char* path);

// Shows the open dialog (several files, all must exist). `filter` is the system's list of
// pairs, each part ended by a zero and the list by a second zero; the first pair is
// preselected. On success `folder` (LMAX_PATH characters) becomes the folder of the selection
// and `names` holds the chosen files as full paths.
bool ChooseFilesToOpen(HWND owner, char* folder, const char* title, const char* filter,
                       const char* defaultExtension, std::vector<std::string>& names);
