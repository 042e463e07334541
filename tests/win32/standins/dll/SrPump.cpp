// Stand-in for the VoiceIt library: "converts" by copying the input; 0 on success, else 1.
#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall Sr_CvtSri2WaveFile(const char* input,
                                                                  const char* output) {
    return CopyFileA(input, output, FALSE) ? 0 : 1;
}
