// Stand-in for the VoiceIt library in the Windows suites: "converts" by copying the input file
// to the output; 0 on success, 1 when the input cannot be copied.
#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall Sr_CvtSri2WaveFile(const char* input,
                                                                  const char* output) {
    return CopyFileA(input, output, FALSE) ? 0 : 1;
}
