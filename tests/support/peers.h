// Independent tools as judges: peer decodes read back, and soxi's answers.
#pragma once

#include <string>
#include <vector>

#include "tests/support/fakeprogress.h"

namespace testutil {

// The file decoded by "mpg123", "ffmpeg", "sox" or "untoast" (GSM 06.10); ok false on failure.
Wav16 PeerDecode(const std::string& peer, const std::string& path);

inline std::vector<int16_t> FfmpegDecode(const std::string& path) {
    return PeerDecode("ffmpeg", path).samples;
}
// sox's decode (inType describes headerless data); mpg123's float decode, not gapless trimmed.
std::vector<int16_t> SoxDecode(const std::string& path, const std::string& inType = "");
std::vector<float> Mpg123Float(const std::string& path);

// soxi's answer for one option ("-r", "-c", "-b", "-e", "-s") without its line end.
std::string Soxi(const std::string& option, const std::string& path);

}  // namespace testutil
