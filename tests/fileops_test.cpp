// Retried opens, in-use tests, lock files and temporary slots, across threads and processes.
#include "support/fileops.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace {

TEST(OpenFileRetrying, EveryBudgetRunsOutWhileTheFileStaysLocked) {
    std::string path = testutil::ScratchDir() + "/tag.mp3";
    testutil::WriteFileBytes(path, {1, 2, 3});
    LFile holder;
    ASSERT_TRUE(OpenFileRetrying(holder, path.c_str(), LFILE_READ | LFILE_WRITE, LSHARE_NONE, 0,
                                 LOPEN_EXISTING));
    LFile f;
    for (uint32_t budget : {0u, 1u, 10u, 100u, 128u}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(OpenFileRetrying(f, path.c_str(), LFILE_READ | LFILE_WRITE,
                                      LSHARE_READ | LSHARE_WRITE, budget, LCREATE_ALWAYS));
        // Ends (a budget below 129 ms once waited 0 ms for ever) and never cut the held file.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
    EXPECT_EQ(testutil::ReadFileBytes(path).size(), 3u);
    EXPECT_TRUE(IsFileInUse(path.c_str()));

    // Released while a retry waits: the open succeeds within the budget.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        holder.Close();
    });
    EXPECT_TRUE(OpenFileRetrying(f, path.c_str(), LFILE_READ, LSHARE_NONE, 1000, LOPEN_EXISTING));
    release.join();
    f.Close();

    EXPECT_FALSE(OpenFileRetrying(f, (path + ".missing").c_str(), LFILE_READ, LSHARE_READ, 1000,
                                  LOPEN_EXISTING));
    EXPECT_TRUE(
        OpenFileRetrying(f, (path + ".new").c_str(), LFILE_WRITE, LSHARE_READ, 100, LOPEN_ALWAYS));
    EXPECT_FALSE(IsFileInUse((path + ".missing").c_str()));
}

TEST(FileInUse, OpenFilesAreInUseClosedOnesNot) {
    std::string path = testutil::ScratchDir() + "/a.wav";
    testutil::WriteFileBytes(path, {0});
    EXPECT_FALSE(IsFileInUse(path.c_str()));
    {
        LFile reader;
        ASSERT_TRUE(reader.Open(path.c_str()));
        EXPECT_TRUE(IsFileInUse(path.c_str()));
        // Shared opens still work side by side.
        LFile second;
        EXPECT_TRUE(second.Open(path.c_str()));
    }
    EXPECT_FALSE(IsFileInUse(path.c_str()));
}

TEST(PathLock, OneHolderAtATimeAndTheLockFileGoesWithIt) {
    std::string dir = testutil::ScratchDir();
    std::string wav = dir + "/Temp1.wav";
    LPathLock a, b;
    ASSERT_TRUE(CreatePathLock(a, wav.c_str()));
    EXPECT_TRUE(a.IsHeld());
    EXPECT_EQ(std::string(a.GetLockPath()), dir + "/Temp1.lck");
    EXPECT_TRUE(fs::exists(dir + "/Temp1.lck"));
    EXPECT_FALSE(CreatePathLock(b, wav.c_str()));
    a.Release();
    EXPECT_FALSE(fs::exists(dir + "/Temp1.lck"));
    EXPECT_TRUE(CreatePathLock(b, wav.c_str()));
    // Taking another lock closes the previous one.
    EXPECT_TRUE(CreatePathLock(b, (dir + "/Temp2.wav").c_str()));
    EXPECT_FALSE(fs::exists(dir + "/Temp1.lck"));
    EXPECT_TRUE(CreatePathLock(a, wav.c_str()));

    // A name without an extension gets ".lck" appended: the file itself is never the lock.
    std::string bare = dir + "/Temp";
    testutil::WriteFileBytes(bare, {5, 5});
    LPathLock c;
    EXPECT_TRUE(CreatePathLock(c, bare.c_str()));
    c.Release();
    EXPECT_EQ(testutil::ReadFileBytes(bare), (std::vector<uint8_t>{5, 5}));

    std::string lck = dir + "/notes.LCK";
    testutil::WriteFileBytes(lck, {6});
    EXPECT_TRUE(CreatePathLock(c, lck.c_str()));
    EXPECT_EQ(std::string(c.GetLockPath()), lck + ".lck");
    c.Release();
    EXPECT_EQ(testutil::ReadFileBytes(lck), (std::vector<uint8_t>{6}));

    // A lock that cannot be created blocks nobody.
    EXPECT_TRUE(CreatePathLock(c, (dir + "/no/such/x.wav").c_str()));
    EXPECT_FALSE(c.IsHeld());
}

class TempSlots : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = testutil::ScratchDir();
        setenv("TAMBER_HOME", home_.c_str(), 1);
        tmp_ = home_ + "/tmp";
    }
    void TearDown() override { unsetenv("TAMBER_HOME"); }
    std::string home_, tmp_;
};

TEST_F(TempSlots, LowestFreeNameIsTakenAndStaleFilesAreReused) {
    LPathLock l1, l2, l3;
    char p1[LMAX_PATH], p2[LMAX_PATH], p3[LMAX_PATH];
    ASSERT_TRUE(ReserveTempWavName(l1, p1));
    EXPECT_EQ(std::string(p1), tmp_ + "/Temp1.wav");
    ASSERT_TRUE(ReserveTempWavName(l2, p2));
    EXPECT_EQ(std::string(p2), tmp_ + "/Temp2.wav");

    // A decoder left Temp1.wav behind: once its lock is gone the slot is reused and emptied.
    testutil::WriteFileBytes(p1, {1, 2, 3});
    l1.Release();
    ASSERT_TRUE(ReserveTempWavName(l3, p3));
    EXPECT_EQ(std::string(p3), tmp_ + "/Temp1.wav");
    EXPECT_FALSE(fs::exists(p3));

    // A leftover file still open somewhere is skipped.
    l3.Release();
    testutil::WriteFileBytes(p1, {1});
    LFile open;
    ASSERT_TRUE(open.Open(p1));
    ASSERT_TRUE(ReserveTempWavName(l3, p3));
    EXPECT_EQ(std::string(p3), tmp_ + "/Temp3.wav");
    EXPECT_TRUE(fs::exists(p1));
}

TEST_F(TempSlots, RunningInstancesNeverShareASlot) {
    constexpr int kChildren = 4;
    int report[2], go[2], end[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(end), 0);
    std::vector<pid_t> kids;
    for (int i = 0; i < kChildren; ++i) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            alarm(20);  // never outlive a broken parent
            char c;
            if (read(go[0], &c, 1) != 1) _exit(3);  // start together
            LPathLock lock;
            char path[LMAX_PATH] = {};
            bool ok = ReserveTempWavName(lock, path);
            char line[LMAX_PATH] = {};
            std::snprintf(line, sizeof line, "%s", ok ? path : "FAILED");
            if (write(report[1], line, sizeof line) != sizeof line) _exit(4);
            if (read(end[0], &c, 1) != 1) _exit(5);  // hold the slot until told to end
            if (i > 0) lock.Release();               // the first one ends as if it crashed
            _exit(0);
        }
        kids.push_back(pid);
    }
    char starts[kChildren];
    ASSERT_EQ(write(go[1], starts, kChildren), kChildren);
    std::set<std::string> names;
    for (int i = 0; i < kChildren; ++i) {
        char line[LMAX_PATH];
        ASSERT_EQ(read(report[0], line, sizeof line), static_cast<ssize_t>(sizeof line));
        names.insert(line);
    }
    // The parent is another instance: it gets the next name.
    LPathLock mine;
    char path[LMAX_PATH];
    ASSERT_TRUE(ReserveTempWavName(mine, path));
    EXPECT_EQ(std::string(path), tmp_ + "/Temp5.wav");
    ASSERT_EQ(write(end[1], starts, kChildren), kChildren);
    for (pid_t pid : kids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int fd : {report[0], report[1], go[0], go[1], end[0], end[1]}) close(fd);
    EXPECT_EQ(names.size(), static_cast<size_t>(kChildren));
    for (int i = 1; i <= kChildren; ++i)
        EXPECT_TRUE(names.count(tmp_ + "/Temp" + std::to_string(i) + ".wav")) << i;
    // The children ended: their lock files went with them (but for the crashed one's, which
    // no longer holds anything); every slot is free again.
    int left = 0;
    for (int i = 1; i <= kChildren; ++i)
        left += fs::exists(tmp_ + "/Temp" + std::to_string(i) + ".lck");
    EXPECT_EQ(left, 1);
    mine.Release();
    ASSERT_TRUE(ReserveTempWavName(mine, path));
    EXPECT_EQ(std::string(path), tmp_ + "/Temp1.wav");
}

}  // namespace
