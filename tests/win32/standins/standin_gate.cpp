// Stand-in for the Ogg Vorbis decoder (copied as oggdec.exe) that holds a conversion where the
// suite wants it: it creates "<own path>.waiting", waits until "<own path>.open" exists, then
// copies its input (a WAV file) to its output, as "oggdec -o <output> <input>" would decode.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string gate = self;
    CloseHandle(CreateFileA((gate + ".waiting").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr));
    while (GetFileAttributesA((gate + ".open").c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
    return argc == 4 && CopyFileA(argv[3], argv[2], FALSE) ? 0 : 5;
}
