// Helpers shared by the test suites: scratch folders, peer tools, files, RIFF/WAVE building.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/signal.h"

namespace testutil {

using Bytes = std::vector<uint8_t>;

// A fresh, empty scratch folder for the calling test (removed when the test program ends).
std::string ScratchDir();
// Removes the stored WAV output format ("WavCodec.wff"): WAV outputs are the source's PCM again.
void ForgetWavOutputFormat();
// Runs a shell command; returns its exit status (-1 when it could not be run).
int Run(const std::string& command);
// Runs a shell command and returns its standard output.
std::string RunOutput(const std::string& command);
// True when the program is on PATH.
bool HaveTool(const char* name);
// True while a process of the process group still runs (ended ones not yet reaped do not count).
bool GroupRuns(const std::string& group);

// A fresh scratch folder with TAMBER_HOME set to it plus home ("" for the folder itself).
std::string ScratchHome(const std::string& home = "/home");
// Seconds on the steady clock since the given time.
double SecondsSince(std::chrono::steady_clock::time_point since);
// Polls done every millisecond until it holds or `seconds` pass; its last answer.
bool WaitUntil(const std::function<bool()>& done, double seconds = 10);

Bytes ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
std::string ReadText(const std::string& path);
// A shell script at path, executable: "#!/bin/sh" and the body.
std::string StandIn(const std::string& path, const std::string& body);

// RIFF/WAVE building. Little-endian field of 1 to 8 bytes.
void PutLE(Bytes& v, uint64_t x, int bytes);
// A chunk: id, size (the body's unless given), body, pad byte after an odd body unless !pad.
void PutChunk(Bytes& v, const char* id, const Bytes& body, int64_t size = -1, bool pad = true);
// A "fmt " body: byte rate and block align follow from the bits; cut or zero-padded to size.
Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t size = 16);
// A RIFF/WAVE form around the chunks in inner (size field derived unless given).
Bytes RiffWave(const Bytes& inner, int64_t riffSize = -1);
// A whole file of a "fmt " body and a "data" chunk.
Bytes WavBytes(const Bytes& fmt, const Bytes& data);
// Writes a 16-bit PCM WAV file from interleaved samples.
bool WriteWav16(const std::string& path, int32_t rate, int channels,
                const std::vector<int16_t>& samples);
// A sparse RF64 WAV, 16-bit stereo at 44100 Hz, silent but for Rf64Mark(k) at each marked k.
bool WriteSparseRf64(const std::string& path, int64_t frames, const std::vector<int64_t>& marked);
inline int16_t Rf64Mark(int64_t frame) {
    return int16_t(frame * 7919 % 65536 - 32768);
}

// A 16-bit PCM WAV file read back: rate, channels and interleaved samples (ok false on failure).
struct Wav16 {
    int32_t rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    bool ok = false;
};
Wav16 ReadWav16(const std::string& path);

#ifndef _WIN32
// Reopens every descriptor of this process on the (absolute) path with flags; how many it did.
int SpoilOpenFile(const std::string& path, int flags);
// Points the CDDB settings at the local test server (tests/cddb_server.py) of that mode.
void UseCddbTestServer(const std::string& mode, int timeoutMs = 1000);
// Points the AccurateRip settings at the local test server (tests/accuraterip_server.py) of
// that mode ("refuse": a port where nothing listens); gives the folder it serves files from.
std::string UseAccurateRipTestServer(const std::string& mode, int timeoutMs = 1000);
#endif

}  // namespace testutil
