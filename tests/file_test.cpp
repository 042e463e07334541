// Path helpers on 260-character buffers, LFile against the real file system, user folders.
#include "support/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/fileops.h"
#include "support/trace.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace {

std::string Sep(std::string s) {
    for (char& c : s)
        if (c == '|') c = LPATH_SEP;
    return s;
}

TEST(PathHelpers, SplitFolderAndFileWithBothSeparators) {
    char out[LMAX_PATH];
    LFile::_GetFolderFromPath(out, "song.wav");
    EXPECT_STREQ(out, "");
    LFile::_GetFolderFromPath(out, "C:\\a\\song.wav");
    EXPECT_STREQ(out, "C:\\a");
    LFile::_GetFolderFromPath(out, "/music/a/b.c/song.wav");
    EXPECT_STREQ(out, "/music/a/b.c");
    LFile::_GetFolderFromPath(out, "C:\\a/b\\");
    EXPECT_STREQ(out, "C:\\a/b");
    LFile::_GetFileFromPath(out, "C:\\a/b\\song.wav");
    EXPECT_STREQ(out, "song.wav");
    LFile::_GetFileFromPath(out, "song");
    EXPECT_STREQ(out, "song");
    LFile::_GetFileFromPath(out, "C:\\a\\");
    EXPECT_STREQ(out, "");
    // Destination may be the source buffer.
    char same[LMAX_PATH] = "x/y/z.mp3";
    LFile::_GetFileFromPath(same, same);
    EXPECT_STREQ(same, "z.mp3");
}

TEST(PathHelpers, ExtensionsLookOnlyAtTheFilePart) {
    char out[LMAX_PATH];
    LFile::_ApplyNewFileExtension(out, "C:\\a.b\\song", ".lck");
    EXPECT_STREQ(out, "C:\\a.b\\song");
    LFile::_ApplyNewFileExtension(out, "C:\\a\\song.wav", ".lck");
    EXPECT_STREQ(out, "C:\\a\\song.lck");
    LFile::_ApplyNewFileExtension(out, "/x/.hidden", ".lck");
    EXPECT_STREQ(out, "/x/.hidden");
    LFile::_ApplyNewFileExtension(out, "a.tar.gz", ".wav");
    EXPECT_STREQ(out, "a.tar.wav");

    GetFileExtension(out, "C:\\a.b\\song");
    EXPECT_STREQ(out, "");
    GetFileExtension(out, "/a/Song.MP3");
    EXPECT_STREQ(out, ".MP3");
    GetFileExtension(out, "a.tar.gz");
    EXPECT_STREQ(out, ".gz");
    GetFileNameNoExtension(out, "C:\\a.b\\song.x.wav");
    EXPECT_STREQ(out, "song.x");
    GetFileNameNoExtension(out, "/a.b/song");
    EXPECT_STREQ(out, "song");
}

TEST(PathHelpers, FilePathCatInsertsOneSeparator) {
    char buf[LMAX_PATH] = "C:\\a\\";
    LFile::FilePathCat(buf, "b.wav");
    EXPECT_STREQ(buf, "C:\\a\\b.wav");
    buf[0] = 0;
    LFile::FilePathCat(buf, "b.wav");
    EXPECT_STREQ(buf, "b.wav");
    std::strcpy(buf, "/tmp/x");
    LFile::FilePathCat(buf, "Temp1", ".wav");
    EXPECT_EQ(std::string(buf), Sep("/tmp/x|Temp1.wav"));
    std::strcpy(buf, "a/");
    LFile::FilePathCat(buf, "b");
    EXPECT_STREQ(buf, "a/b");
}

TEST(PathHelpers, OverlongInputIsCutAt259) {
    std::string longName(400, 'n');
    std::string longPath = "/f/" + longName + ".wav";
    char out[LMAX_PATH + 16];
    std::memset(out, 'X', sizeof out);
    LFile::_GetFileFromPath(out, longPath.c_str());
    EXPECT_EQ(std::strlen(out), 256u);  // 259 minus the "/f/" prefix
    LFile::_GetFolderFromPath(out, longPath.c_str());
    EXPECT_STREQ(out, "/f");
    LClearTrace();
    LFile::_ApplyNewFileExtension(out, (std::string(250, 'a') + ".w").c_str(), ".longextension");
    EXPECT_EQ(std::strlen(out), 259u);
    EXPECT_EQ(LLastTrace(), "LFile::_ApplyNewFileExtension path too long");
    EXPECT_EQ(out[LMAX_PATH], 'X');  // nothing written past the buffer

    char buf[LMAX_PATH + 16];
    std::memset(buf, 'X', sizeof buf);
    std::memset(buf, 'd', 259);
    buf[259] = 0;
    LFile::FilePathCat(buf, "b.wav");
    EXPECT_EQ(std::strlen(buf), 259u);  // already full: left alone
    buf[250] = 0;
    LFile::FilePathCat(buf, longName.c_str(), ".wav");
    EXPECT_EQ(std::strlen(buf), 259u);
    EXPECT_EQ(buf[250], LPATH_SEP);
    EXPECT_EQ(buf[LMAX_PATH], 'X');
    EXPECT_EQ(LLastTrace(), "LFile::FilePathCat szFolderPath too long");
}

TEST(PathHelpers, CleanFileNameDropsReservedCharacters) {
    char out[LMAX_PATH];
    EXPECT_TRUE(CleanFileName(out, "AC/DC: Live?"));
    EXPECT_STREQ(out, "ACDC Live");
    EXPECT_FALSE(CleanFileName(out, "\"*./:<>?\\|\x01\x1f\x80\xff"));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(CleanFileName(out, "Caf\xc3\xa9 Track 01.mp3"));
    EXPECT_STREQ(out, "Caf Track 01mp3");
    EXPECT_TRUE(CleanFileName(out, std::string(500, 'z').c_str()));
    EXPECT_EQ(std::strlen(out), 259u);
}

TEST(LFileIO, WriteSeekReadTruncateRoundTrip) {
    std::string path = testutil::ScratchDir() + "/data.bin";
    LFile f;
    ASSERT_TRUE(f.Create(path.c_str()));
    char block[1000];
    for (int i = 0; i < 1000; ++i) block[i] = static_cast<char>(i * 7);
    EXPECT_EQ(f.Write(block, 1000), 1000);
    EXPECT_EQ(f.Tell(), 1000);
    EXPECT_EQ(f.GetFileSizeBytes(), 1000);
    ASSERT_TRUE(f.Seek(600));
    EXPECT_TRUE(f.Truncate());
    EXPECT_EQ(f.GetFileSizeBytes(), 600);
    f.Close();

    // Moved ownership closes exactly once; the moved-from file is invalid.
    LFile g;
    ASSERT_TRUE(g.Open(path.c_str()));
    LFile h(std::move(g));
    EXPECT_FALSE(g.IsOpen());
    char back[1000];
    EXPECT_EQ(h.Read(back, 1000), 600);
    EXPECT_EQ(std::memcmp(back, block, 600), 0);
    EXPECT_EQ(h.Read(back, 10), 0);  // end of file
    EXPECT_TRUE(h.Seek(599));
    EXPECT_EQ(h.Read(back, 10), 1);
    EXPECT_FALSE(h.Seek(-1));
    EXPECT_EQ(h.Write(block, 10), -1);  // opened for reading only
    EXPECT_EQ(testutil::ReadFileBytes(path).size(), 600u);
}

TEST(LFileIO, FailuresAreValuesAndLeaveFilesAlone) {
    std::string dir = testutil::ScratchDir();
    LFile f;
    EXPECT_FALSE(f.Open((dir + "/missing.wav").c_str()));
    EXPECT_FALSE(f.Open(dir.c_str()));  // a folder is not a file
    // Nor is a pipe: opening it must not wait for a writer.
    std::string fifo = dir + "/pipe.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(f.Open(fifo.c_str()));
    EXPECT_FALSE(f.OpenReadWrite(fifo.c_str()));
    EXPECT_FALSE(IsFileInUse(fifo.c_str()));
    EXPECT_FALSE(f.Open(""));
    EXPECT_FALSE(f.Create((dir + "/no/such/folder/x.wav").c_str()));
    LClearTrace();
    EXPECT_FALSE(f.Seek(0));
    EXPECT_EQ(LLastTrace(), "LFile::Seek Called on an invalid file");
    EXPECT_EQ(f.Tell(), -1);
    EXPECT_EQ(LLastTrace(), "LFile::Tell() Failed");
    EXPECT_EQ(f.GetFileSizeBytes(), -1);
    EXPECT_EQ(LLastTrace(), "LFile::GetFileSizeBytes() FAILED");
    char b[4];
    EXPECT_EQ(f.Read(b, 4), -1);
    EXPECT_EQ(f.Write(b, 4), -1);
    EXPECT_FALSE(f.Truncate());

    // Opening for update keeps the content until written.
    std::string path = dir + "/keep.bin";
    ASSERT_TRUE(testutil::WriteFileBytes(path, {1, 2, 3, 4}));
    ASSERT_TRUE(f.OpenReadWrite(path.c_str()));
    ASSERT_TRUE(f.Seek(2));
    EXPECT_EQ(f.Write("\x09", 1), 1);
    f.Close();
    EXPECT_EQ(testutil::ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 9, 4}));
}

TEST(UserFolders, TamberHomeMovesEveryFolder) {
    std::string home = testutil::ScratchDir() + "/home";
    ::setenv("TAMBER_HOME", home.c_str(), 1);
    char out[LMAX_PATH];
    LFile::GetUserDataFolder(out);
    EXPECT_EQ(std::string(out), home + "/data");
    EXPECT_TRUE(fs::is_directory(out));
    LFile::GetUserConfigFolder(out);
    EXPECT_EQ(std::string(out), home + "/config");
    LFile::GetTempFolder(out);
    EXPECT_EQ(std::string(out), home + "/tmp");
    EXPECT_TRUE(fs::is_directory(out));
    LFile::GetUserDocumentsFolder(out);
    EXPECT_EQ(std::string(out), home + "/Documents");
    ::unsetenv("TAMBER_HOME");

    ::setenv("XDG_DATA_HOME", (home + "/xdg").c_str(), 1);
    LFile::GetUserDataFolder(out);
    EXPECT_EQ(std::string(out), home + "/xdg/tamber");
    ::unsetenv("XDG_DATA_HOME");

    // Documents: the user-dirs file names it; a name that does not exist falls back to home.
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/cfg").c_str(), 1);
    fs::create_directories(home + "/cfg");
    fs::create_directories(home + "/Dokumente");
    std::FILE* f = std::fopen((home + "/cfg/user-dirs.dirs").c_str(), "w");
    std::fputs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", f);
    std::fclose(f);
    LFile::GetUserDocumentsFolder(out);
    EXPECT_EQ(std::string(out), home + "/Dokumente");
    fs::remove(home + "/Dokumente");
    LFile::GetUserDocumentsFolder(out);
    EXPECT_EQ(std::string(out), home + "/Documents");  // made by the TAMBER_HOME case above
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", oldHome.c_str(), 1);
}

// The temporary folder is the user's own: narrowed to 0700, and never another user's folder
// (nor a link: see the temporary slots), which sends it to the user's cache folder instead.
TEST(UserFolders, TemporaryFolderIsPrivate) {
    const std::string base = testutil::ScratchDir(),
                      own = base + "/tamber-" + std::to_string(::geteuid());
    ::unsetenv("TAMBER_HOME");
    ::setenv("TMPDIR", base.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (base + "/c").c_str(), 1);
    char out[LMAX_PATH];
    ASSERT_EQ(testutil::Run("mkdir -m 777 '" + own + "'"), 0);
    LFile::GetTempFolder(out);
    EXPECT_EQ(out, own);
    EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_all);
    if (::geteuid() == 0 && testutil::Run("chown 65534 '" + own + "'") == 0) {
        LFile::GetTempFolder(out);
        EXPECT_EQ(out, base + "/c/tamber/tmp");
        EXPECT_EQ(fs::status(out).permissions(), fs::perms::owner_all);
    }
    for (const char* v : {"TMPDIR", "XDG_CACHE_HOME"}) ::unsetenv(v);
}

TEST(FolderDeletion, FilesOnlyThenTree) {
    std::string scratch = testutil::ScratchDir();
    std::string dir = scratch + "/top";
    fs::create_directories(dir + "/sub.v1/deeper");
    fs::create_directories(dir + "/.keep");
    for (const char* f : {"/a.wav", "/sub.v1/b.wav", "/sub.v1/deeper/c", "/.hidden"})
        testutil::WriteFileBytes(dir + f, {1});
    // A link to an outside folder is removed, never followed.
    std::string outside = scratch + "/outside";
    fs::create_directories(outside);
    testutil::WriteFileBytes(outside + "/precious", {7});
    fs::create_directory_symlink(outside, dir + "/sub.v1/link");

    EXPECT_FALSE(LFile::DeleteFolderAndFiles(dir.c_str()));  // subfolders stay: folder stays
    EXPECT_FALSE(fs::exists(dir + "/a.wav"));
    EXPECT_TRUE(fs::exists(dir + "/.hidden"));
    EXPECT_FALSE(DeleteFolderTree(dir.c_str()));  // ".keep" and ".hidden" are skipped
    EXPECT_FALSE(fs::exists(dir + "/sub.v1"));
    EXPECT_TRUE(fs::exists(outside + "/precious"));
    fs::remove_all(dir + "/.keep");
    fs::remove(dir + "/.hidden");
    EXPECT_TRUE(DeleteFolderTree(dir.c_str()));
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_FALSE(DeleteFolderTree((dir + "/gone").c_str()));
}

}  // namespace
