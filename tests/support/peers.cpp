// Independent tools as judges: peer decodes read back, soxi's answers.
#include "tests/support/peers.h"

#include <cstring>
#include <map>

#include "tests/support/signal.h"
#include "tests/support/testutil.h"

namespace testutil {

static std::string Quoted(const std::string& path) {
    std::string q = "'";
    for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Wav16 PeerDecode(const std::string& peer, const std::string& path) {
    const std::string out = path + ".peer.wav", in = Quoted(path), wav = Quoted(out);
    if (peer == "untoast")
        return Run("untoast -l -c " + in + " > " + Quoted(out + ".raw")) == 0
                   ? Wav16{8000, 1, ReadRaw16(out + ".raw"), true}
                   : Wav16{};
    const std::map<std::string, std::string> commands = {
        {"mpg123", "mpg123 -q -w " + wav + " " + in},
        {"ffmpeg", "ffmpeg -nostdin -v error -y -i " + in + " -c:a pcm_s16le " + wav},
        {"sox", "sox " + in + " -b 16 " + wav}};
    const auto c = commands.find(peer);
    return c != commands.end() && Run(c->second + " 2>/dev/null") == 0 ? ReadWav16(out) : Wav16{};
}

std::vector<int16_t> SoxDecode(const std::string& path, const std::string& inType) {
    const std::string out = path + ".sox.raw";
    if (Run("sox -D -V1 " + inType + " " + Quoted(path) + " -t raw -b 16 -e signed -L " +
            Quoted(out)))
        return {};
    return ReadRaw16(out);
}

std::vector<float> Mpg123Float(const std::string& path) {
    const std::string out = path + ".f32";
    if (Run("mpg123 -q --no-gapless -e f32 -s " + Quoted(path) + " > " + Quoted(out))) return {};
    const Bytes b = ReadFileBytes(out);
    std::vector<float> f(b.size() / 4);
    if (!f.empty()) std::memcpy(f.data(), b.data(), f.size() * 4);
    return f;
}

std::string Soxi(const std::string& option, const std::string& path) {
    std::string answer = RunOutput("soxi " + option + " " + Quoted(path) + " 2>/dev/null");
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();
    return answer;
}

}  // namespace testutil
