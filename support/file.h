// LFile: the thin wrapper of a platform file handle that every file format uses, plus path helpers.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

// Path buffers hold the system's longest path and a terminating zero: 259 characters on
// Windows, PATH_MAX - 1 elsewhere. A path that does not fit is refused, never cut, where it
// comes in (an argument, an entry, an output name).
#ifdef _WIN32
constexpr int LMAX_PATH = 260;
#else
constexpr int LMAX_PATH = PATH_MAX;
#endif
// True when the path fits a path buffer.
bool LPathFits(const char* path);
// The separator the path helpers insert ("\\" on Windows, "/" elsewhere); both are read.
#ifdef _WIN32
constexpr char LPATH_SEP = '\\';
#else
constexpr char LPATH_SEP = '/';
#endif

// Either separator: both are read on every platform.
constexpr bool LIsPathSeparator(char c) {
    return c == '\\' || c == '/';
}
// Copies at most LMAX_PATH - 1 characters and a terminating zero; true when the source had to
// be cut.
bool LCopyPath(char* dest, const char* src);
// An extension with its dot equals another without regard to case (".MP3" is ".mp3").
bool ExtIs(const char* ext, const char* wanted);
// The path's extension with its dot (from the last "." of the file part), or the empty text at
// the path's end when it has none. Points into path.
const char* LPathExtension(const char* path);
// The same path text: without regard to case and with either separator on Windows, letter for
// letter elsewhere (where file names keep their case).
bool LSamePathText(const char* a, const char* b);
// The path text as LSamePathText sees it: two paths have the same key exactly when it holds.
std::string LPathTextKey(const char* path);
// Two paths name the same file: the same path text, or two spellings of one existing file
// ("./", links, another case where the file system ignores it).
bool LSameFile(const char* a, const char* b);

class LFile {
  public:
    LFile() = default;
    ~LFile() { Close(); }
    LFile(const LFile&) = delete;
    LFile& operator=(const LFile&) = delete;
    LFile(LFile&& o) noexcept;
    LFile& operator=(LFile&& o) noexcept;

    // Opens an existing file for reading (others may read and write it meanwhile).
    bool Open(const char* path);
    // Opens an existing file for reading and writing (tag updates).
    bool OpenReadWrite(const char* path);
    // Creates (or replaces) a file for writing.
    bool Create(const char* path);
    // Creates a file for writing only when nothing exists at the path (one step, so that of
    // several programs trying the same name exactly one gets it).
    bool CreateNew(const char* path);
    // Reads bytes in memory as if they were a file's (writes fail); the caller keeps them until
    // the file is closed. Readers of file formats take such a file as well as a path.
    void OpenBytes(const uint8_t* data, size_t size);
    bool IsOpen() const { return handle_ != kInvalid || bytes_; }
    void Close();

    // Bytes transferred; 0 at the end of the file; -1 on failure.
    int32_t Read(void* buffer, int32_t bytes);
    int32_t Write(const void* buffer, int32_t bytes);
    // Absolute byte position; false on an invalid file or a system failure.
    bool Seek(int64_t position);
    // -1 on failure.
    int64_t Tell();
    int64_t GetFileSizeBytes();
    // Cuts the file at the current position.
    bool Truncate();

    // Path helpers: destination buffer (LMAX_PATH characters) first; input cut to fit.
    static void _GetFileFromPath(char* dest, const char* path);
    static void _GetFolderFromPath(char* dest, const char* path);
    static void _ApplyNewFileExtension(char* dest, const char* path, const char* extension);
    static void FilePathCat(char* folder, const char* name);
    static void FilePathCat(char* folder, const char* name, const char* extension);

    // User folders: documents, per-user application data, shared application data, and where
    // per-user configuration and temporary files go. Written without a trailing separator.
    // Where the environment variable TAMBER_HOME is set, all of them lie under it (tests).
    // The temporary folder is the user's own (on POSIX systems a folder of mode 0700 owned by
    // the user); it is empty when no such folder can be had.
    static void GetUserDocumentsFolder(char* dest);
    // The user's music folder (the documents folder where there is none).
    static void GetUserMusicFolder(char* dest);
    static void GetUserDataFolder(char* dest);
    static void GetSharedDataFolder(char* dest);
    static void GetUserConfigFolder(char* dest);
    static void GetTempFolder(char* dest);

    // Deletes the folder's files (not entering subfolders, skipping names starting with "."),
    // then the folder; true when the folder was removed.
    static bool DeleteFolderAndFiles(const char* folder);

    // The platform handle as an integer (a HANDLE on Windows, a descriptor elsewhere).
    using Handle = intptr_t;
    static constexpr Handle kInvalid = -1;
    Handle NativeHandle() const { return handle_; }
    // Takes over an open platform handle (closing the previous one); Release gives it up again.
    void Attach(Handle handle);
    Handle Release();

  private:
    // The platform's file operations.
    void SysClose();
    int32_t SysRead(void* buffer, int32_t bytes);
    int32_t SysWrite(const void* buffer, int32_t bytes);
    bool SysSeek(int64_t position);
    int64_t SysTell();
    int64_t SysGetFileSizeBytes();
    bool SysTruncate();

    Handle handle_ = kInvalid;
    // Bytes in memory instead of a platform file (OpenBytes).
    const uint8_t* bytes_ = nullptr;
    int64_t byteCount_ = 0, bytePos_ = 0;
};

// More path helpers (destination first): the extension with its dot ("" when none), the file
// name without it, and a text as a file name (reserved and non-ASCII characters dropped; false
// when nothing is left).
void GetFileExtension(char* dest, const char* path);
void GetFileNameNoExtension(char* dest, const char* path);
bool CleanFileName(char* dest, const char* text);
// DeleteFolderAndFiles for the folder and every subfolder below it (links are not entered);
// true when the folder was removed.
bool DeleteFolderTree(const char* folder);
// Calls visit(path, size) for every file in the folder and in every subfolder below it, in no
// set order, with the file's size in bytes as the folder's listing gives it (names beginning with
// "." are passed over, links to folders are not entered); visit returns false to end the walk,
// which then returns false too.
bool LWalkFolderTree(const char* folder,
                     const std::function<bool(const char* path, uint64_t size)>& visit);
