// Independent tools as judges: a file decoded by a peer decoder and read back, and what soxi
// says about a file.
#pragma once

#include <string>

#include "tests/support/fakeprogress.h"

namespace testutil {

// The file decoded by "mpg123", "ffmpeg", "sox" or "untoast" (8 kHz mono GSM 06.10) into
// path + ".peer.wav" and read back; ok is false when the peer failed.
Wav16 PeerDecode(const std::string& peer, const std::string& path);

// soxi's answer for one option ("-r", "-c", "-b", "-e", "-s") without its line end.
std::string Soxi(const std::string& option, const std::string& path);

}  // namespace testutil
