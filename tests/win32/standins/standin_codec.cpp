// Stand-in for the encoder and decoder components in the Windows suites. It is copied under the
// name of the program it replaces (lame, oggenc, faac, flac, oggdec, faad, shorten, actdec),
// records its command line in "<own path>.cmd.txt", accepts exactly the options the program is
// given, and writes a WAV file: encoders of the PCM they read, decoders a copy of their input.
// STANDIN_MODE=exit ends at once, =crash crashes after half a second of input, =stall never
// reads and sleeps.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string OwnPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

void Put(std::vector<uint8_t>& v, uint32_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

bool WriteWav(const std::string& path, int rate, int channels, const std::vector<uint8_t>& pcm) {
    std::vector<uint8_t> v;
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    Put(v, uint32_t(36 + pcm.size()), 4);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(v, 16, 4);
    Put(v, 1, 2);
    Put(v, uint32_t(channels), 2);
    Put(v, uint32_t(rate), 4);
    Put(v, uint32_t(rate * channels * 2), 4);
    Put(v, uint32_t(channels * 2), 2);
    Put(v, 16, 2);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put(v, uint32_t(pcm.size()), 4);
    v.insert(v.end(), pcm.begin(), pcm.end());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(v.data(), 1, v.size(), f) == v.size();
    return std::fclose(f) == 0 && ok;
}

int Fail(const char* why) {
    std::fprintf(stderr, "stand-in: %s\n", why);
    return 2;
}

// Reads standard input to its end; crashes half-way in crash mode (limit bytes in).
std::vector<uint8_t> ReadInput(size_t crashAfter) {
    std::vector<uint8_t> data;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) break;
        data.insert(data.end(), buf, buf + got);
        if (crashAfter && data.size() >= crashAfter) {
            // Dies as an access violation would, without the system's crash dialog.
            TerminateProcess(GetCurrentProcess(), 0xC0000005);
        }
    }
    return data;
}

int Encoder(const std::string& name, const std::vector<std::string>& a, const char* mode) {
    int rate = 0, channels = 0;
    std::string out;
    size_t i = 1;
    if (name == "lame") {
        bool mono = false, downmix = false, raw = false, input = false;
        for (; i < a.size(); ++i) {
            const std::string& o = a[i];
            if (o == "-a") {
                downmix = true;
            } else if (o == "-m" && i + 1 < a.size()) {
                const std::string& m = a[++i];
                if (m != "s" && m != "j" && m != "f" && m != "m") return Fail("bad -m");
                mono = m == "m";
            } else if (o == "-p" || o == "-h" || o == "-v") {
            } else if ((o == "-b" || o == "-B" || o == "-V") && i + 1 < a.size()) {
                ++i;
            } else if (o == "-r") {
                raw = true;
            } else if (o == "-x") {
                return Fail("-x swaps little-endian samples into noise");
            } else if (o == "-s" && i + 1 < a.size()) {
                rate = int(std::atof(a[++i].c_str()) * 1000 + 0.5);
            } else if (o == "-S") {
            } else if (o == "-" && !input) {
                input = true;
            } else if (input && out.empty()) {
                out = o;
            } else {
                return Fail(("unknown lame option " + o).c_str());
            }
        }
        if (!raw || !input) return Fail("lame needs -r and -");
        channels = mono && !downmix ? 1 : 2;
    } else if (name == "oggenc" || name == "faac") {
        bool input = false;
        for (; i < a.size(); ++i) {
            const std::string& o = a[i];
            if (o == "-C" && i + 1 < a.size()) {
                channels = std::atoi(a[++i].c_str());
            } else if (o == "-R" && i + 1 < a.size()) {
                rate = std::atoi(a[++i].c_str());
            } else if ((o == "-q" || o == "-m" || o == "-M" || o == "-b") && i + 1 < a.size()) {
                ++i;
            } else if (name == "oggenc" &&
                       (o == "--downmix" || o == "--discard-comments" || o == "-Q")) {
            } else if (name == "faac" && (o == "--no-tns" || o == "-X")) {
            } else if (name == "faac" && o == "--mpeg-vers" && i + 1 < a.size()) {
                ++i;
            } else if (o == "-") {
                input = true;
            } else if (o == "-o" && i + 1 < a.size()) {
                out = a[++i];
            } else {
                return Fail(("unknown option " + o).c_str());
            }
        }
        if (!input) return Fail("no standard input named");
    } else {  // flac
        bool input = false, force = false;
        for (; i < a.size(); ++i) {
            const std::string& o = a[i];
            if (o.rfind("--channels=", 0) == 0) {
                channels = std::atoi(o.c_str() + 11);
            } else if (o.rfind("--sample-rate=", 0) == 0) {
                rate = std::atoi(o.c_str() + 14);
            } else if (o.rfind("--compression-level-", 0) == 0 || o == "--endian=little" ||
                       o == "--bps=16" || o == "--sign=signed") {
            } else if (o == "-f") {
                force = true;
            } else if (o == "-") {
                input = true;
            } else if (o == "-o" && i + 1 < a.size()) {
                out = a[++i];
            } else {
                return Fail(("unknown flac option " + o).c_str());
            }
        }
        if (!input || !force) return Fail("flac needs -f -");
    }
    if (rate <= 0 || channels <= 0 || out.empty()) return Fail("missing rate, channels or output");
    if (std::strcmp(mode, "exit") == 0) return 3;
    if (std::strcmp(mode, "stall") == 0) {
        Sleep(6000);
        return 0;
    }
    size_t crashAfter = std::strcmp(mode, "crash") == 0 ? size_t(rate) * channels : 0;
    std::vector<uint8_t> pcm = ReadInput(crashAfter);
    return WriteWav(out, rate, channels, pcm) ? 0 : 4;
}

int Decoder(const std::string& name, const std::vector<std::string>& a, const char* mode) {
    std::string in, out;
    if (name == "faad" && a.size() == 5 && a[1] == "-d" && a[2] == "-o") {
        out = a[3], in = a[4];
    } else if (name == "oggdec" && a.size() == 4 && a[1] == "-o") {
        out = a[2], in = a[3];
    } else if (name == "flac" && a.size() == 5 && a[1] == "-d" && a[2] == "-o") {
        out = a[3], in = a[4];
    } else if (name == "actdec" && a.size() == 3) {
        in = a[1], out = a[2];
    } else if (name == "shorten" && a.size() == 4 && a[1] == "-x") {
        in = a[2], out = a[3];
    } else {
        return Fail("unexpected decoder arguments");
    }
    if (std::strcmp(mode, "exit") == 0) return 3;
    if (std::strcmp(mode, "stall") == 0) {
        Sleep(6000);
        return 0;
    }
    if (std::strcmp(mode, "broken") == 0) {
        FILE* f = std::fopen(out.c_str(), "wb");
        if (f) {
            std::fputs("RIFF\x01", f);
            std::fclose(f);
        }
        return 0;
    }
    return CopyFileA(in.c_str(), out.c_str(), FALSE) ? 0 : 5;
}

}  // namespace

int main(int argc, char** argv) {
    std::string self = OwnPath();
    std::string name = BaseName(self);
    if (FILE* f = std::fopen((self + ".cmd.txt").c_str(), "wb")) {
        std::fputs(GetCommandLineA(), f);
        std::fclose(f);
    }
    std::vector<std::string> a(argv, argv + argc);
    const char* mode = std::getenv("STANDIN_MODE");
    if (!mode) mode = "";
    bool flacDecode = name == "flac" && argc > 1 && std::strcmp(argv[1], "-d") == 0;
    if (name == "lame" || name == "oggenc" || name == "faac" || (name == "flac" && !flacDecode))
        return Encoder(name, a, mode);
    return Decoder(name, a, mode);
}
