// HTTP replies from an untrusted server, in pieces as the network hands them over: the body
// stays within its bound, and the pieces' sizes do not change what is read.
#include <cstdint>
#include <cstdlib>

#include "support/http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kBound = 4096;
    // The first byte chooses the piece size, the rest is the reply.
    if (size < 1) return 0;
    const size_t piece = size_t(data[0] % 17) + 1;
    ++data, --size;
    LHttpReplyReader whole(kBound), pieces(kBound);
    whole.Feed(data, size);
    for (size_t at = 0; at < size; at += piece)
        pieces.Feed(data + at, size - at < piece ? size - at : piece);
    whole.Close();
    pieces.Close();
    if (whole.state() != pieces.state() || whole.body() != pieces.body()) std::abort();
    if (whole.body().size() > kBound) std::abort();
    if (whole.state() == LHttpReplyReader::State::Done &&
        (whole.status() < 0 || whole.status() > 999 || whole.status() != pieces.status()))
        std::abort();
    return 0;
}
