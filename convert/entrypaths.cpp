// Output folders and paths of list entries, and the passing names outputs are written under.
#include "convert/entrypaths.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/fileops.h"
#include "support/fspath.h"

namespace {

// folder + separator (when needed) + name; false (dest cut) when that does not fit.
bool JoinPath(char* dest, const char* folder, const std::string& name) {
    const size_t length = std::strlen(folder);
    const bool separator = length > 0 && !LIsPathSeparator(folder[length - 1]);
    if (length + separator + name.size() >= size_t(LMAX_PATH)) {
        LCopyPath(dest, folder);
        return false;
    }
    LCopyPath(dest, folder);
    LFile::FilePathCat(dest, name.c_str());
    return true;
}

}  // namespace

bool LClaimPassingName(char* dest, const char* folder, const char* prefix, const char* name,
                       const char* ext) {
    int vanished = 0;
    for (int n = 1; n < 1000;) {
        const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
        const size_t fixed =
            std::strlen(folder) + 1 + std::strlen(prefix) + suffix.size() + std::strlen(ext);
        if (fixed >= LMAX_PATH) return false;
        std::string stem(name, std::min(std::strlen(name), LMAX_PATH - 1 - fixed));
        JoinPath(dest, folder, prefix + stem + suffix + ext);
        LFile claim;
        if (claim.CreateNew(dest)) return true;
        if (LFileExists(dest)) {
            ++n;  // taken: the next number
            continue;
        }
        // Nothing there: the folder cannot be written, or another running conversion let
        // this name go between the two steps (then the same name is tried again).
        if (++vanished > 16) return false;
    }
    return false;
}

bool LIsSameAsSource(const char* folderText) {
    return strcasecmp(folderText, kSameAsSourceFolder) == 0;
}

void LCDSameAsSourceFolder(char* dest) {
    LFile::GetUserMusicFolder(dest);
}

namespace {

// The input's folder below fromFolder ("A/B" for "fromFolder/A/B/01.flac"); false when the
// input is not below it.
bool FolderBelow(std::string& below, const char* input, const char* fromFolder) {
    size_t root = std::strlen(fromFolder);
    while (root > 0 && LIsPathSeparator(fromFolder[root - 1])) --root;
    if (std::strncmp(input, fromFolder, root) != 0 || !LIsPathSeparator(input[root])) return false;
    char folder[LMAX_PATH];
    LFile::_GetFolderFromPath(folder, input);
    below = std::string(folder).substr(std::min(std::strlen(folder), root));
    while (!below.empty() && LIsPathSeparator(below.front())) below.erase(0, 1);
    while (!below.empty() && LIsPathSeparator(below.back())) below.pop_back();
    return true;
}

}  // namespace

bool LMakeEntryFolder(const LEntryPaths& paths) {
    if (!paths.mirrored) return true;
    std::error_code ec;
    std::filesystem::create_directories(LFsPath(paths.folder), ec);
    return std::filesystem::is_directory(LFsPath(paths.folder), ec);
}

bool LPlanEntryPaths(const char* input, const char* folderText, const char* outExt,
                     LEntryPaths& paths, const char* fromFolder, bool keepFolders) {
    char name[LMAX_PATH], inExt[LMAX_PATH];
    GetFileNameNoExtension(name, input);
    GetFileExtension(inExt, input);
    if (LIsSameAsSource(folderText) && ExtIs(inExt, ".cda"))
        LCDSameAsSourceFolder(paths.folder);  // a disc has no folder of its own
    else if (LIsSameAsSource(folderText))
        LFile::_GetFolderFromPath(paths.folder, input);
    else
        LCopyPath(paths.folder, folderText);
    paths.sameFile = false;
    paths.mirrored = false;
    std::string below;
    if (keepFolders && fromFolder && *fromFolder && !LIsSameAsSource(folderText) &&
        FolderBelow(below, input, fromFolder) && !below.empty()) {
        const std::string outer = paths.folder;
        if (!JoinPath(paths.folder, outer.c_str(), below)) {
            JoinPath(paths.finalPath, paths.folder, std::string(name) + outExt);
            return false;
        }
        paths.mirrored = true;
    }
    if (!JoinPath(paths.finalPath, paths.folder, std::string(name) + outExt)) return false;
    paths.sameFile = LSameFile(paths.finalPath, input);
    return true;
}

bool LPlanEntry(const LConvertRequest& request, const LConvertEntry& entry, LEntryPaths& paths) {
    if (!LPlanEntryPaths(entry.input.c_str(), request.outputFolder.c_str(),
                         request.outputExtension.c_str(), paths, entry.fromFolder.c_str(),
                         request.keepFolders))
        return false;
    LMakeEntryFolder(paths);
    return true;
}
