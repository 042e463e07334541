// Stand-in for outside programs, copied under their names. As lame (stereo) or a decoder (oggdec,
// shorten, actdec) it writes a WAV file of the PCM read or copies its input; STANDIN_MODE exit,
// crash (after half a second), stall, or gate (makes "<self>.waiting", waits for "<self>.open").
// Else an installer that records "Path"; one whose name starts with "hang" never ends in time.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/byteorder.h"

namespace {

// Writes the bytes, after the header of a 16-bit stereo WAV file at the rate when one is given.
bool Save(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t rate = 0) {
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0,  0, 'W', 'A', 'V', 'E', 'f', 'm',
                     't', ' ', 16,  0,   0, 0, 1,  0, 2,   0,   0,   0,   0,   0,
                     0,   0,   0,   0,   4, 0, 16, 0, 'd', 'a', 't', 'a'};
    StoreLE32(h + 4, uint32_t(36 + bytes.size()));
    StoreLE32(h + 24, rate);
    StoreLE32(h + 28, rate * 4);
    StoreLE32(h + 40, uint32_t(bytes.size()));
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = (!rate || std::fwrite(h, 1, 44, f) == 44) &&
                    std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Copies the decoder's input to its output, less a leading "WRAP": a test hides a WAV from
// the program's readers by content that way, so that the decoder is what reads it.
bool Decode(const std::string& in, const std::string& out) {
    FILE* f = std::fopen(in.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
    std::fclose(f);
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "WRAP", 4) == 0)
        bytes.erase(bytes.begin(), bytes.begin() + 4);
    return Save(out, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self = path;
    std::string name = self.substr(self.find_last_of("\\/") + 1);
    name.resize(name.rfind('.'));
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    const std::vector<std::string> a(argv + 1, argv + argc);
    const std::string mode = std::getenv("STANDIN_MODE") ? std::getenv("STANDIN_MODE") : "";
    const std::string codecs = " lame oggdec shorten actdec ";
    if (codecs.find(" " + name + " ") == std::string::npos) {
        if (name.rfind("hang", 0) == 0) return Sleep(8000), 0;
        const std::string key = "Software\\Velmora\\Components\\" + name;
        const std::string exe = "C:\\Components\\" + name + ".exe";
        return RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Path", REG_SZ, exe.c_str(),
                               DWORD(exe.size() + 1)) != ERROR_SUCCESS;
    }
    if (a.size() < 2) return 2;
    if (mode == "gate") {
        Save(self + ".waiting", {});
        while (GetFileAttributesA((self + ".open").c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
    }

    int rate = 0;
    std::string out;
    for (size_t i = 0; i + 1 < a.size(); ++i) {
        if (a[i] == "-o") out = a[i + 1];
        if (a[i] == "-s") rate = int(std::atof(a[i + 1].c_str()) * 1000 + 0.5);  // lame: kHz
    }
    // Without "-o" the output comes last (lame, and the decoders that take "input output").
    const std::string in = out.empty() ? a[a.size() - 2] : a.back();
    if (out.empty()) out = a.back();
    if (mode == "exit") return 3;
    if (mode == "stall") return Sleep(6000), 0;
    if (name != "lame") return Decode(in, out) ? 0 : 5;
    if (rate <= 0) return 2;
    const size_t crashAfter = mode == "crash" ? size_t(rate) * 2 : 0;  // half a second
    std::vector<uint8_t> pcm;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &got, nullptr) && got) {
        pcm.insert(pcm.end(), buf, buf + got);
        // Dies as an access violation would, without the system's crash dialog.
        if (crashAfter && pcm.size() >= crashAfter)
            TerminateProcess(GetCurrentProcess(), 0xC0000005);
    }
    return Save(out, pcm, uint32_t(rate)) ? 0 : 4;
}
