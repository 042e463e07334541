// Independent tools as judges: peer decodes read back, soxi's answers.
#include "tests/support/peers.h"

#include "tests/support/signal.h"
#include "tests/support/testutil.h"

namespace testutil {

namespace {

std::string Quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

Wav16 PeerDecode(const std::string& peer, const std::string& path) {
    const std::string out = path + ".peer.wav", in = Quoted(path), wav = Quoted(out);
    std::string command;
    if (peer == "mpg123") command = "mpg123 -q -w " + wav + " " + in;
    if (peer == "ffmpeg")
        command = "ffmpeg -nostdin -v error -y -i " + in + " -c:a pcm_s16le " + wav;
    if (peer == "sox") command = "sox " + in + " -b 16 " + wav;
    if (peer == "untoast") {
        Wav16 w;
        if (Run("untoast -l -c " + in + " > " + Quoted(out + ".raw")) != 0) return w;
        w.samples = ReadRaw16(out + ".raw");
        w.rate = 8000, w.channels = 1, w.ok = true;
        return w;
    }
    if (command.empty() || Run(command + " 2>/dev/null") != 0) return Wav16{};
    return ReadWav16(out);
}

std::string Soxi(const std::string& option, const std::string& path) {
    std::string answer = RunOutput("soxi " + option + " " + Quoted(path) + " 2>/dev/null");
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();
    return answer;
}

}  // namespace testutil
