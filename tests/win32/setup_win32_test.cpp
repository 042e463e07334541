// The distributed files under Wine: the cross-built LAME behind tamber.exe, and the setup file
// (its layout read back here independently, install, uninstall, refusals, cancel, corruption).
#include <windows.h>
// windows.h first.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "formats/mp3.h"
#include "tests/support/testutil.h"

namespace {

std::string Built(const char* name) {
    std::string p = std::string(TAMBER_BINARY_DIR) + "/" + name;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p[0] == '\\' ? "Z:" + p : p;
}

template <class F>
bool WaitFor(F f, int ms = 20000) {
    for (int t = 0; t < ms; t += 50) {
        if (f()) return true;
        Sleep(50);
    }
    return f();
}

HANDLE Start(const std::string& exe, const std::string& args) {
    std::string line = "\"" + exe + "\"" + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

void SetValue(HKEY root, const std::string& key, const char* name, const std::string& text) {
    HKEY k;
    RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD(text.size() + 1));
    RegCloseKey(k);
}

// Runs tamber.exe hidden on one WAV file to MP3 in the same folder and returns the decoded
// output's best correlation with the input within the encoder's delay.
double ConvertToMp3AndCorrelate(const std::string& exe, const std::string& dir) {
    const int32_t rate = 44100, frames = 44100;
    std::vector<int16_t> in(size_t(frames) * 2);
    for (int32_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate, env = 0.2 + 0.6 * (i % 11025) / 11025.0;
        in[2 * i] = in[2 * i + 1] =
            int16_t(12000 * env * (std::sin(2 * std::numbers::pi * 440 * t) + 0.5 * std::sin(2 * std::numbers::pi * 1234 * t)));
    }
    EXPECT_TRUE(testutil::WriteWav16(dir + "\\in.wav", rate, 2, in));
    const std::string key = "Software\\Velmora\\Tamber\\Settings";
    SetValue(HKEY_LOCAL_MACHINE, key, "AlwaysOverwrite", "1");
    SetValue(HKEY_LOCAL_MACHINE, key, "AlwaysPrompt", "0");
    HANDLE p = Start(exe, " -hide -format .mp3 -outfolder \"" + dir + "\" \"" + dir +
                              "\\in.wav\" -convert -exit");
    EXPECT_TRUE(p);
    if (!p) return 0;
    EXPECT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    CloseHandle(p);
    LMP3Source mp3((dir + "\\in.mp3").c_str());
    EXPECT_EQ(mp3.GetError(), LSRC_OK);
    if (mp3.GetError() != LSRC_OK || mp3.GetEndSample() < frames / 2) return 0;
    std::vector<int32_t> out(size_t(mp3.GetEndSample()) * mp3.GetChannels());
    mp3.Read(out.data(), mp3.GetEndSample());
    double best = 0;
    const int ch = mp3.GetChannels(), n = frames / 2;
    for (int lag = 0; lag < 3000; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (int i = 0; i < n; i += 3) {
            const double a = in[2 * i], b = out[size_t(i + lag) * ch];
            ab += a * b, aa += a * a, bb += b * b;
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

}  // namespace

// The shipped encoder reads our little-endian pipe as it is: without "-x" it encodes the signal,
// and tamber.exe's command line agrees.
TEST(SetupFiles, CrossBuiltLameEncodesThroughTamber) {
    const std::string dir = testutil::ScratchDir();
    const std::string lame = dir + "\\lame.exe";
    ASSERT_TRUE(CopyFileA(Built("lame.exe").c_str(), lame.c_str(), FALSE));
    SetValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\mp3el", "Path", lame);
    EXPECT_GT(ConvertToMp3AndCorrelate(Built("tamber.exe"), dir), 0.95);
}
