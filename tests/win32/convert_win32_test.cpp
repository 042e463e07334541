// An output naming its input in another case or with slashes is the same file, replaced whole.
#include <algorithm>
#include <cstdio>

#include "convert/job.h"
#include "tests/support/fakehost.h"
#include "tests/win32/support/wintest.h"

namespace {

TEST(ConvertWin32, SameFileInAnotherSpellingIsReplacedWhole) {
    const std::string dir = testutil::ScratchDir(), in = dir + "\\B.WAV";
    const auto pcm = testutil::Sine(8000, 2, 3000, 440, 8000);
    testutil::WriteWav16(in, 8000, 2, pcm);
    testutil::ForgetWavOutputFormat();
    // 16-bit to 16-bit gives the same samples again; an input truncated while read would not.
    for (char slash : {'\\', '/'}) {
        testutil::FakeHost h;
        h.Select({in});
        h.folder = dir;
        std::replace(h.folder.begin(), h.folder.end(), '\\', slash);
        testutil::FakeProgress dlg;
        EXPECT_EQ(h.RunJob(dlg), LPROCESS_OK) << slash;
        EXPECT_EQ(std::tuple(h.entries[0].image, testutil::ReadWav16(in).samples),
                  std::tuple(2, pcm))
            << slash;
        EXPECT_FALSE(fs::exists(dir + "\\_B.WAV"));
    }
}

}  // namespace
