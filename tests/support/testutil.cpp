// Helpers shared by the test suites: scratch folders, peer tools, files, RIFF/WAVE building.
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "cd/cddb.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/byteorder.h"
#include "support/file.h"
#include "support/fspath.h"
#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace testutil {

// A root per test program, removed at its end unless a test failed (to look at the files).
static const fs::path& ProcessRoot() {
    static const fs::path root =
        fs::temp_directory_path() / "tamber-tests" / std::to_string(getpid());
    [[maybe_unused]] static const int registered = std::atexit([] {
        std::error_code ec;
        if (::testing::UnitTest::GetInstance()->Passed()) fs::remove_all(ProcessRoot(), ec);
    });
    return root;
}

std::string ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "misc";
    std::replace(name.begin(), name.end(), '/', '_');
    fs::path dir = ProcessRoot() / name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    return dir.string();
}

std::string ScratchHome(const std::string& home) {
    const std::string dir = ScratchDir();
#ifdef _WIN32
    _putenv_s("TAMBER_HOME", (dir + home).c_str());
#else
    setenv("TAMBER_HOME", (dir + home).c_str(), 1);
#endif
    return dir;
}

double SecondsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (SecondsSince(start) > seconds) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
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
    return rc == -1 ? -1 : WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
#endif
}

bool GroupRuns(const std::string& group) {
    return Run("pgrep -g " + group + " -r D,R,S,T,t >/dev/null") == 0;
}

std::string RunOutput(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (p) pclose(p);
    return out;
}

bool HaveTool(const char* name) {
    return Run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream f(LFsPath(path), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream f(LFsPath(path), std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

std::string ReadText(const std::string& path) {
    const Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

std::string StandIn(const std::string& path, const std::string& body) {
    const std::string text = "#!/bin/sh\n" + body + "\n";
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
    fs::permissions(path, fs::perms::all);
    return path;
}

void PutLE(Bytes& v, uint64_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

void PutChunk(Bytes& v, const char* id, const Bytes& body, int64_t size, bool pad) {
    v.insert(v.end(), id, id + 4);
    PutLE(v, uint64_t(size < 0 ? int64_t(body.size()) : size), 4);
    v.insert(v.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) v.push_back(0);
}

Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t size) {
    const uint32_t align = channels * ((bits + 7u) / 8u);
    Bytes f;
    // Tag, channels, rate; byte rate, block align, bits.
    PutLE(f, tag | uint64_t(channels) << 16 | uint64_t(rate) << 32, 8);
    PutLE(f, rate * align | uint64_t(align) << 32 | uint64_t(bits) << 48, 8);
    f.resize(size, 0);
    return f;
}

Bytes RiffWave(const Bytes& inner, int64_t riffSize) {
    Bytes v;
    PutChunk(v, "RIFF", {'W', 'A', 'V', 'E'}, riffSize < 0 ? int64_t(inner.size() + 4) : riffSize);
    v.insert(v.end(), inner.begin(), inner.end());
    return v;
}

Bytes WavBytes(const Bytes& fmt, const Bytes& data) {
    Bytes in;
    PutChunk(in, "fmt ", fmt);
    PutChunk(in, "data", data);
    return RiffWave(in);
}

bool WriteWav16(const std::string& path, int32_t rate, int channels,
                const std::vector<int16_t>& samples) {
    Bytes data;
    for (int16_t s : samples) PutLE(data, uint16_t(s), 2);
    return WriteFileBytes(path, WavBytes(FmtBody(1, uint16_t(channels), uint32_t(rate), 16), data));
}

bool WriteSparseRf64(const std::string& path, int64_t frames, const std::vector<int64_t>& marked) {
    Bytes ds64, in;
    for (uint64_t x : {uint64_t(frames) * 4 + 72, uint64_t(frames) * 4, uint64_t(frames)})
        PutLE(ds64, x, 8);
    PutLE(ds64, 0, 4);  // no table
    PutChunk(in, "ds64", ds64);
    PutChunk(in, "fmt ", FmtBody(1, 2, 44100, 16));
    PutChunk(in, "data", {}, 0xFFFFFFFF);
    Bytes v = RiffWave(in, 0xFFFFFFFF);
    std::copy_n("RF64", 4, v.begin());
    if (!WriteFileBytes(path, v)) return false;
    std::error_code ec;
    std::filesystem::resize_file(path, v.size() + uint64_t(frames) * 4, ec);
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    for (int64_t k : marked) {
        const uint32_t frame = uint16_t(Rf64Mark(k)) * 0x10001u;  // both channels, little-endian
        f.seekp(std::streamoff(v.size()) + std::streamoff(k) * 4);
        f.write(reinterpret_cast<const char*>(&frame), 4);
    }
    return !ec && f.good();
}

Wav16 ReadWav16(const std::string& path) {
    Wav16 w;
    const Bytes b = ReadFileBytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
        return w;
    for (size_t pos = 12, size; pos + 8 <= b.size(); pos += 8 + size + (size & 1)) {
        const uint8_t* d = b.data() + pos + 8;  // the chunk's body
        const size_t left = b.size() - pos - 8;
        size = LoadLE32(d - 4);
        if (!std::memcmp(d - 8, "fmt ", 4) && left >= 16) {
            w.channels = LoadLE16(d + 2);
            w.rate = int32_t(LoadLE32(d + 4));
            if ((LoadLE16(d) != 1 && LoadLE16(d) != 0xFFFE) || LoadLE16(d + 14) != 16) return w;
        } else if (!std::memcmp(d - 8, "data", 4) && w.channels) {
            // Streamed writers may leave the size open; take what is there.
            if (size == 0 || size == 0xFFFFFFFF || size > left) size = left;
            for (size_t i = 0; i + 1 < size; i += 2) w.samples.push_back(int16_t(LoadLE16(d + i)));
            w.ok = true;
            return w;
        }
    }
    return w;
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

namespace {

// Starts a local servers script (tests/localservers.py) and reads its "name port" lines.
std::map<std::string, int> LocalServers(const std::string& command) {
    std::map<std::string, int> ports;
    FILE* server = popen((command + " 2>/dev/null").c_str(), "r");
    char name[64];
    int port;
    while (server && std::fscanf(server, "%63s %d", name, &port) == 2 && std::strcmp(name, "ready"))
        ports[name] = port;
    return ports;
}

}  // namespace

void UseCddbTestServer(const std::string& mode, int timeoutMs) {
    static std::map<std::string, int> ports =
        LocalServers("exec /usr/bin/python3 " TAMBER_SOURCE_DIR "/tests/cddb_server.py");
    SettingsWriteString(kCDDBSection, "Server",
                        ("127.0.0.1:" + std::to_string(ports[mode])).c_str());
    SettingsWriteInt(kCDDBSection, "Timeout", timeoutMs);
}

std::string UseAccurateRipTestServer(const std::string& mode, int timeoutMs) {
    static std::string root;
    static std::map<std::string, int> ports = [] {
        char folder[] = "/tmp/tamber-ar-XXXXXX";
        root = mkdtemp(folder) ? folder : "/tmp";
        return LocalServers(
            "exec /usr/bin/python3 " TAMBER_SOURCE_DIR "/tests/accuraterip_server.py " + root);
    }();
    SettingsWriteString(kAccurateRipSection, "Server",
                        ("127.0.0.1:" + std::to_string(ports[mode])).c_str());
    SettingsWriteInt(kAccurateRipSection, "Timeout", timeoutMs);
    return root;
}
#endif

}  // namespace testutil
