// Helpers shared by the test suites: scratch folders, running peer tools, sample files.
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "support/file.h"
#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testutil {

namespace {

// Each test program gets its own root, so that several programs (or several checkouts) running
// at once never share or delete each other's files. It is removed when the program ends, unless
// a test failed, so that the files can be looked at.
const fs::path& ProcessRoot() {
#ifdef _WIN32
    static const fs::path root =
        fs::temp_directory_path() / "tamber-tests" / std::to_string(_getpid());
#else
    static const fs::path root =
        fs::temp_directory_path() / "tamber-tests" / std::to_string(getpid());
#endif
    static const bool registered = [] {
        std::atexit([] {
            if (::testing::UnitTest::GetInstance()->Passed()) {
                std::error_code ec;
                fs::remove_all(ProcessRoot(), ec);
            }
        });
        return true;
    }();
    (void)registered;
    return root;
}

}  // namespace

std::string ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "misc";
    for (char& c : name)
        if (c == '/') c = '_';
    fs::path dir = ProcessRoot() / name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    return dir.string();
}

void ForgetWavOutputFormat() {
    char data[LMAX_PATH];
    LFile::GetUserDataFolder(data);
    std::error_code ec;
    fs::remove(fs::path(data) / "WavCodec.wff", ec);
}

int Run(const std::string& command) {
    int rc = std::system(command.c_str());
#ifdef _WIN32
    return rc;
#else
    if (rc == -1) return -1;
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
#endif
}

std::string RunOutput(const std::string& command) {
    std::string out;
#ifdef _WIN32
    FILE* p = _popen(command.c_str(), "r");
#else
    FILE* p = popen(command.c_str(), "r");
#endif
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
#ifdef _WIN32
    _pclose(p);
#else
    pclose(p);
#endif
    return out;
}

bool HaveTool(const char* name) {
    return Run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

static void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
static void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

bool WriteWav16(const std::string& path, int32_t rate, int channels,
                const std::vector<int16_t>& samples) {
    std::vector<uint8_t> v;
    uint32_t dataBytes = uint32_t(samples.size() * 2);
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    Put32(v, 36 + dataBytes);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(v, 16);
    Put16(v, 1);
    Put16(v, uint32_t(channels));
    Put32(v, uint32_t(rate));
    Put32(v, uint32_t(rate * channels * 2));
    Put16(v, uint32_t(channels * 2));
    Put16(v, 16);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put32(v, dataBytes);
    for (int16_t s : samples) Put16(v, uint16_t(s));
    return WriteFileBytes(path, v);
}

bool WriteSparseRf64(const std::string& path, int64_t frames, const std::vector<int64_t>& marked) {
    std::vector<uint8_t> v = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A',
                              'V', 'E', 'd', 's', '6',  '4',  28,   0,    0,   0};
    for (uint64_t x : {uint64_t(frames) * 4 + 72, uint64_t(frames) * 4, uint64_t(frames)}) {
        Put32(v, uint32_t(x));
        Put32(v, uint32_t(x >> 32));
    }
    std::vector<uint8_t> wav;
    if (!WriteWav16(path, 44100, 2, {}) || (wav = ReadFileBytes(path)).size() != 44) return false;
    v.insert(v.end(), 4, 0);  // no table
    v.insert(v.end(), wav.begin() + 12, wav.end() - 4);
    v.insert(v.end(), 4, 0xFF);
    if (!WriteFileBytes(path, v)) return false;
    std::error_code ec;
    std::filesystem::resize_file(path, v.size() + uint64_t(frames) * 4, ec);
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    for (int64_t k : marked) {
        const uint16_t m = uint16_t(Rf64Mark(k));
        const char frame[4] = {char(m), char(m >> 8), char(m), char(m >> 8)};
        f.seekp(std::streamoff(v.size()) + std::streamoff(k) * 4);
        f.write(frame, 4);
    }
    return !ec && f.good();
}

std::vector<int16_t> Sine(int32_t rate, int channels, int32_t frames, double hz, double amplitude) {
    std::vector<int16_t> out(size_t(frames) * channels);
    for (int32_t i = 0; i < frames; ++i) {
        double v = amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate);
        for (int c = 0; c < channels; ++c) out[size_t(i) * channels + c] = int16_t(std::lround(v));
    }
    return out;
}

#ifndef _WIN32
int SpoilOpenFile(const std::string& path, int flags) {
    int swapped = 0;
    for (int fd = 3; fd < 1024; ++fd) {
        char link[4096] = {};
        const std::string proc = "/proc/self/fd/" + std::to_string(fd);
        if (readlink(proc.c_str(), link, sizeof link - 1) <= 0 || path != link) continue;
        const int other = ::open(path.c_str(), flags);
        if (other >= 0 && dup2(other, fd) >= 0) ++swapped;
        if (other >= 0) close(other);
    }
    return swapped;
}
#endif

}  // namespace testutil
