// Path helpers, LFile, user folders, retried opens, lock files, temporary slots and SHA-256.
#include "support/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "support/fileops.h"
#include "support/sha256.h"
#include "tests/support/kit.h"

namespace {

// Every path helper on short inputs: both separators, dots in folders, in place.
TEST(PathHelpers, SplitsExtensionsAndJoins) {
    using Split = void (*)(char*, const char*);
    auto newExt = [](char* d, const char* p) { LFile::_ApplyNewFileExtension(d, p, ".lck"); };
    auto cat = [](char* d, const char* p) { std::strcpy(d, p), LFile::FilePathCat(d, "b.wav"); };
    auto catExt = [](char* d, const char* p) {
        std::strcpy(d, p), LFile::FilePathCat(d, "Temp1", ".wav");
    };
    const std::string sep(1, LPATH_SEP);
    const struct {
        Split fn;
        const char* in;
        std::string out;
    } rows[] = {
        {LFile::_GetFolderFromPath, "song.wav", ""},
        {LFile::_GetFolderFromPath, "/music/a/b.c/song.wav", "/music/a/b.c"},
        {LFile::_GetFolderFromPath, "C:\\a/b\\", "C:\\a/b"},
        {LFile::_GetFileFromPath, "C:\\a/b\\song.wav", "song.wav"},
        {LFile::_GetFileFromPath, "song", "song"},
        {LFile::_GetFileFromPath, "C:\\a\\", ""},
        {newExt, "C:\\a.b\\song", "C:\\a.b\\song"},
        {newExt, "/x/.hidden", "/x/.hidden"},
        {newExt, "a.tar.gz", "a.tar.lck"},
        {GetFileExtension, "C:\\a.b\\song", ""},
        {GetFileExtension, "a.tar.gz", ".gz"},
        {GetFileNameNoExtension, "C:\\a.b\\song.x.wav", "song.x"},
        {GetFileNameNoExtension, "/a.b/song", "song"},
        {cat, "C:\\a\\", "C:\\a\\b.wav"},
        {cat, "", "b.wav"},
        {cat, "a/", "a/b.wav"},
        {catExt, "/tmp/x", "/tmp/x" + sep + "Temp1.wav"},
    };
    for (const auto& r : rows) {
        char out[LMAX_PATH];
        r.fn(out, r.in);
        EXPECT_EQ(out, r.out) << r.in;
    }
    // Destination may be the source buffer.
    char same[LMAX_PATH] = "x/y/z.mp3";
    LFile::_GetFileFromPath(same, same);
    EXPECT_STREQ(same, "z.mp3");
    EXPECT_FALSE(LSamePathText("A/b.wav", "a/b.wav"));  // case counts here
}

TEST(PathHelpers, OverlongInputIsCutToTheBuffer) {
    const size_t max = LMAX_PATH - 1;
    std::string longName(max + 140, 'n');
    std::string longPath = "/f/" + longName + ".wav";
    char out[LMAX_PATH];  // nothing written past a buffer: the paths fuzzer
    LFile::_GetFileFromPath(out, longPath.c_str());
    EXPECT_EQ(std::strlen(out), max - 3);  // the buffer minus the "/f/" prefix
    LFile::_GetFolderFromPath(out, longPath.c_str());
    EXPECT_STREQ(out, "/f");
    LFile::_ApplyNewFileExtension(out, (std::string(max - 9, 'a') + ".w").c_str(),
                                  ".longextension");
    EXPECT_EQ(std::strlen(out), max);
    char buf[LMAX_PATH] = {};
    std::memset(buf, 'd', max);
    LFile::FilePathCat(buf, "b.wav");
    EXPECT_EQ(std::strlen(buf), max);  // already full: left alone
    buf[max - 9] = 0;
    LFile::FilePathCat(buf, longName.c_str(), ".wav");
    EXPECT_EQ(std::strlen(buf), max);
    EXPECT_EQ(buf[max - 9], LPATH_SEP);
}

TEST(PathHelpers, CleanFileNameDropsReservedCharacters) {
    const std::string longName(LMAX_PATH + 240, 'z');
    const struct {
        const char* text;
        std::string name;  // "": nothing usable
    } rows[] = {{"AC/DC: Live?", "ACDC Live"},
                {"\"*./:<>?\\|\x01\x1f\x80\xff", ""},
                {"Caf\xc3\xa9 Track 01.mp3", "Caf Track 01mp3"},
                {longName.c_str(), std::string(LMAX_PATH - 1, 'z')}};
    for (const auto& r : rows) {
        char out[LMAX_PATH];
        EXPECT_EQ(CleanFileName(out, r.text), !r.name.empty()) << r.text;
        EXPECT_EQ(out, r.name);
    }
}

TEST(LFileIO, FailuresAreValues) {
    std::string dir = testutil::ScratchDir();
    LFile f;
    EXPECT_FALSE(f.Open((dir + "/missing.wav").c_str()));
    EXPECT_FALSE(f.Open(dir.c_str()));  // a folder is not a file
    // Nor is a pipe: opening it must not wait for a writer.
    std::string fifo = dir + "/pipe.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(f.Open(fifo.c_str()) || f.OpenReadWrite(fifo.c_str()) ||
                 IsFileInUse(fifo.c_str()));
    EXPECT_FALSE(f.Open("") || f.Create((dir + "/no/such/folder/x.wav").c_str()));
    char b[4];
    EXPECT_EQ(std::tuple(f.Seek(0), f.Tell(), f.GetFileSizeBytes(), f.Read(b, 4), f.Write(b, 4),
                         f.Truncate()),
              std::tuple(false, -1, -1, -1, -1, false));
}

TEST(UserFolders, TamberHomeAndXdgFolders) {
    std::string home = testutil::ScratchDir() + "/home";
    char out[LMAX_PATH];
    auto folder = [&](void (*get)(char*)) { return get(out), std::string(out); };
    ::setenv("TAMBER_HOME", home.c_str(), 1);  // its data, config and temporary: every suite
    EXPECT_EQ(folder(LFile::GetUserDocumentsFolder), home + "/Documents");
    ::unsetenv("TAMBER_HOME");
    ::setenv("XDG_DATA_HOME", (home + "/xdg").c_str(), 1);
    EXPECT_EQ(folder(LFile::GetUserDataFolder), home + "/xdg/tamber");
    ::unsetenv("XDG_DATA_HOME");

    // Documents: the user-dirs file names it; a name that does not exist falls back to home.
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/cfg").c_str(), 1);
    fs::create_directories(home + "/cfg");
    fs::create_directories(home + "/Dokumente");
    const std::string dirs =
        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
    testutil::WriteFileBytes(home + "/cfg/user-dirs.dirs", {dirs.begin(), dirs.end()});
    EXPECT_EQ(folder(LFile::GetUserDocumentsFolder), home + "/Dokumente");
    fs::remove(home + "/Dokumente");
    EXPECT_EQ(folder(LFile::GetUserDocumentsFolder), home + "/Documents");  // made above
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", oldHome.c_str(), 1);
}

// The temporary folder is narrowed to 0700; another user's sends it to the user's cache folder.
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

// Tags are opened sharing (the only way the program opens them), retried while one holds it alone.
TEST(OpenFileRetrying, SucceedsOnceTheHolderLetsGo) {
    std::string path = testutil::ScratchDir() + "/tag.mp3";
    testutil::WriteFileBytes(path, {1, 2, 3});
    LFile holder, f;
    ASSERT_TRUE(OpenFileRetrying(holder, path.c_str(), LFILE_READ | LFILE_WRITE, LSHARE_NONE, 0,
                                 LOPEN_EXISTING));
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        holder.Close();
    });
    EXPECT_TRUE(OpenFileRetrying(f, path.c_str(), LFILE_READ | LFILE_WRITE,
                                 LSHARE_READ | LSHARE_WRITE, 1000, LOPEN_EXISTING));
    release.join();
}

class TempSlots : public ::testing::Test {
  protected:
    void TearDown() override { unsetenv("TAMBER_HOME"); }
    std::string tmp_ = testutil::ScratchHome("") + "/tmp";
};

TEST_F(TempSlots, LowestFreeNameIsTakenAndStaleFilesAreReused) {
    LPathLock l1, l2, l3;
    char p1[LMAX_PATH], p2[LMAX_PATH], p3[LMAX_PATH];
    ASSERT_TRUE(ReserveTempWavName(l1, p1) && ReserveTempWavName(l2, p2));
    EXPECT_EQ(std::string(p1) + " " + p2, tmp_ + "/Temp1.wav " + tmp_ + "/Temp2.wav");

    // A decoder left Temp1.wav behind: once its lock is gone the slot is reused and emptied.
    testutil::WriteFileBytes(p1, {1, 2, 3});
    l1.Release();
    ASSERT_TRUE(ReserveTempWavName(l3, p3));
    EXPECT_EQ(std::string(p3), tmp_ + "/Temp1.wav");
    EXPECT_FALSE(fs::exists(p3));

    // A lock file that nobody holds (its instance crashed) does not block its slot (one still
    // open is skipped: the convert suite's decoded inputs).
    l3.Release();
    testutil::WriteFileBytes(tmp_ + "/Temp1.lck", {});
    ASSERT_TRUE(ReserveTempWavName(l3, p3));
    EXPECT_EQ(std::string(p3), tmp_ + "/Temp1.wav");
}

}  // namespace

// The standard's examples (one block, two blocks, a million "a"), the empty message, and a file
// fed in uneven pieces against sha256sum.
TEST(Sha256, StandardVectorsAndSha256sum) {
    const auto hex = [](const std::string& m) {
        LSha256 s;
        s.Update(m.data(), m.size());
        return s.FinalHex();
    };
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    LSha256 million;
    const std::string thousand(1000, 'a');
    for (int i = 0; i < 1000; ++i) million.Update(thousand.data(), thousand.size());
    EXPECT_EQ(million.FinalHex(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    if (!testutil::HaveTool("sha256sum")) GTEST_SKIP() << "no sha256sum";
    testutil::Bytes bytes(100003);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 2654435761u >> 11);
    const std::string path = testutil::ScratchDir() + "/digest.bin";
    ASSERT_TRUE(testutil::WriteFileBytes(path, bytes));
    LSha256 file;
    for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 % 191 + 1)
        file.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    EXPECT_EQ(file.FinalHex(), testutil::RunOutput("sha256sum " + path).substr(0, 64));
}
