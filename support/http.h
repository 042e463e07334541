// A small HTTP/1.1 client for one GET over the TCP client: the reply reader (status line,
// headers, a body sized by Content-Length, chunked or ended by the close) and the request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/progress.h"

// Reads one reply from the bytes as they arrive. Explicit state; the body grows to at most
// maxBody bytes, so a reply cannot ask for more memory than the caller allows.
class LHttpReplyReader {
  public:
    enum class State { More, Done, Bad };

    explicit LHttpReplyReader(size_t maxBody) : maxBody_(maxBody) {}

    // Takes the next bytes. Done once the reply is complete: the body read for status 200,
    // the headers for any other status (its body does not matter). Bad for a reply that breaks
    // the protocol, a line or header block past its bound, or a body past maxBody. Once Done or
    // Bad, further bytes change nothing.
    State Feed(const uint8_t* bytes, size_t size);
    // The peer closed: a body that runs to the close ends here; anything else unfinished is Bad.
    State Close();

    State state() const { return state_; }
    int status() const { return status_; }
    const std::vector<uint8_t>& body() const { return body_; }

  private:
    enum class Part { StatusLine, Header, Sized, ChunkSize, ChunkData, ChunkEnd, Trailer, ToClose };
    State Fail() { return state_ = State::Bad; }
    // One line of the head or of the chunk framing, without its line end.
    State Line(const std::string& line);
    State HeaderLine(const std::string& line);
    State EndOfHeaders();
    // Appends body bytes; false past the bound.
    bool Append(const uint8_t* bytes, size_t n);

    size_t maxBody_;
    State state_ = State::More;
    Part part_ = Part::StatusLine;
    int status_ = 0;
    std::string line_;
    int headers_ = 0;
    bool chunked_ = false;
    bool haveLength_ = false;
    uint64_t length_ = 0;  // Content-Length, or what is left of the current chunk
    std::vector<uint8_t> body_;
};

// How a GET ended.
enum class LHttpOutcome {
    Ok,        // status 200 with a complete body
    NotFound,  // any other status (a redirect too), or a reply that breaks the protocol
    Failed,    // no connection, a time-out, a connection cut in the middle of the reply
    Stopped,   // the user cancelled
};

struct LHttpRequest {
    std::string server;  // "host" or "host:port"
    uint16_t defaultPort = 80;
    std::string path;            // from "/"
    uint32_t timeoutMs = 10000;  // for the connection, the request and every read
    size_t maxBody = 1 << 20;
};

// The request's bytes: "GET path HTTP/1.1" with Host, User-Agent, Accept and Connection: close.
std::string LHttpRequestText(const LHttpRequest& request);

// Runs one GET behind the progress surface (which may be null); the body of a 200 reply goes
// to body. The whole exchange takes at most a few time-outs, however the server paces it.
LHttpOutcome ProcessHttpGet(LProgressDialog* dlg, const LHttpRequest& request,
                            std::vector<uint8_t>& body);
