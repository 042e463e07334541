// The conversion job under Windows: same-file replacement through "_name", case-insensitive
// same-file detection.
#include <algorithm>
#include <cstdio>

#include "convert/gensink.h"
#include "convert/job.h"
#include "tests/support/fakehost.h"
#include "tests/win32/support/wintest.h"

namespace {

int RunJob(testutil::FakeHost& h, bool cancel, std::vector<std::string>* errors = nullptr) {
    testutil::FakeProgress dlg;
    dlg.stopped = cancel;
    LConvertJob job;
    job.mainWindow = &h;
    std::snprintf(job.outputExtension, LMAX_PATH, "%s", h.format.c_str());
    int status = ProcessConvert(&dlg, &job);
    if (errors) *errors = dlg.errors;
    return status;
}

TEST(ConvertWin32, SameFileReplacedOnlyOnSuccess) {
    std::string dir = testutil::ScratchDir();
    std::string in = dir + "\\B.WAV";
    testutil::WriteWav16(in, 8000, 2, testutil::Sine(8000, 2, 3000, 440, 8000));
    const auto original = testutil::ReadFileBytes(in);
    testutil::FakeHost h;
    h.Select({in});
    h.folder = dir;
    h.format = ".wav";  // the same file despite the different case
    // Mono output, so that a replaced file differs from the original.
    uint8_t fmt[1024] = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0};
    char data[LMAX_PATH];
    LFile::GetUserDataFolder(data);
    std::string wff = std::string(data) + "\\WavCodec.wff";
    ASSERT_TRUE(testutil::WriteFileBytes(wff, std::vector<uint8_t>(fmt, fmt + 1024)));
    ASSERT_TRUE(LGenSaveWavFormat(fmt));  // moved over the existing file

    std::vector<std::string> errors;
    EXPECT_EQ(RunJob(h, true, &errors), LPROCESS_STOPPED);
    EXPECT_EQ(testutil::ReadFileBytes(in), original);
    EXPECT_FALSE(fs::exists(dir + "\\_B.WAV"));
    EXPECT_TRUE(errors.empty());  // a cancel shows no message
    EXPECT_EQ(h.entries[0].image, 3);

    EXPECT_EQ(RunJob(h, false), LPROCESS_OK);
    EXPECT_EQ(h.entries[0].image, 2);
    EXPECT_FALSE(fs::exists(dir + "\\_B.WAV"));
    const auto replaced = testutil::ReadFileBytes(in);
    EXPECT_EQ(replaced.at(22), 1);  // one channel now

    // The folder typed with forward slashes still names the input's folder.
    h.folder = dir;
    std::replace(h.folder.begin(), h.folder.end(), '\\', '/');
    EXPECT_EQ(RunJob(h, false), LPROCESS_OK);
    EXPECT_EQ(testutil::ReadFileBytes(in), replaced);
    fs::remove(wff);
}

}  // namespace
