// The HTTP/1.1 reply reader and the GET exchange over the TCP client.
#include "support/http.h"

#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "support/socket.h"
#include "support/trace.h"
#include "support/version.h"

namespace {

// A head line longer than this, or more header lines than this, is no reply of a sane server.
constexpr size_t kMaxLine = 8192;
constexpr int kMaxHeaders = 100;
// The whole exchange: at most this many time-outs, however the server paces its bytes.
constexpr uint32_t kBudgetTimeouts = 4;
constexpr int32_t kReadRound = 4096;

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

// Decimal digits only, at most 18 of them (no overflow); false otherwise.
bool ParseDecimal(const std::string& s, uint64_t& value) {
    if (s.empty() || s.size() > 18) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint64_t(c - '0');
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool LHttpReplyReader::Append(const uint8_t* bytes, size_t n) {
    if (n > maxBody_ - body_.size()) return false;
    body_.insert(body_.end(), bytes, bytes + n);
    return true;
}

LHttpReplyReader::State LHttpReplyReader::Feed(const uint8_t* bytes, size_t size) {
    size_t i = 0;
    while (i < size && state_ == State::More) {
        if (part_ == Part::Sized || part_ == Part::ChunkData) {
            size_t n = size - i;
            if (uint64_t(n) > length_) n = size_t(length_);
            if (!Append(bytes + i, n)) return Fail();
            i += n;
            length_ -= n;
            if (length_ == 0) {
                if (part_ == Part::Sized) return state_ = State::Done;
                part_ = Part::ChunkEnd;
            }
            continue;
        }
        if (part_ == Part::ToClose) {
            if (!Append(bytes + i, size - i)) return Fail();
            break;
        }
        const uint8_t c = bytes[i++];
        if (c != '\n') {
            if (line_.size() >= kMaxLine) return Fail();
            line_ += char(c);
            continue;
        }
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        const std::string line = std::move(line_);
        line_.clear();
        Line(line);
    }
    return state_;
}

LHttpReplyReader::State LHttpReplyReader::Close() {
    if (state_ != State::More) return state_;
    return part_ == Part::ToClose ? state_ = State::Done : Fail();
}

LHttpReplyReader::State LHttpReplyReader::Line(const std::string& line) {
    switch (part_) {
        case Part::StatusLine: {
            // "HTTP/1.x NNN reason"
            if (line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0 || line[7] < '0' ||
                line[7] > '9' || line[8] != ' ' || (line.size() > 12 && line[12] != ' '))
                return Fail();
            status_ = 0;
            for (int k = 9; k < 12; ++k) {
                if (line[size_t(k)] < '0' || line[size_t(k)] > '9') return Fail();
                status_ = status_ * 10 + (line[size_t(k)] - '0');
            }
            part_ = Part::Header;
            return state_;
        }
        case Part::Header:
            return line.empty() ? EndOfHeaders() : HeaderLine(line);
        case Part::ChunkSize: {
            // Hexadecimal size, then perhaps ";extension".
            const std::string size = Trim(line.substr(0, line.find(';')));
            if (size.empty() || size.size() > 15) return Fail();
            length_ = 0;
            for (char c : size) {
                const int d = HexDigit(c);
                if (d < 0) return Fail();
                length_ = length_ * 16 + uint64_t(d);
            }
            if (length_ > maxBody_ - body_.size()) return Fail();
            part_ = length_ == 0 ? Part::Trailer : Part::ChunkData;
            return state_;
        }
        case Part::ChunkEnd:
            if (!line.empty()) return Fail();
            part_ = Part::ChunkSize;
            return state_;
        case Part::Trailer:
            if (line.empty()) return state_ = State::Done;
            return ++headers_ > kMaxHeaders ? Fail() : state_;
        default:
            return Fail();
    }
}

LHttpReplyReader::State LHttpReplyReader::HeaderLine(const std::string& line) {
    if (++headers_ > kMaxHeaders) return Fail();
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return Fail();
    const std::string name = line.substr(0, colon), value = Trim(line.substr(colon + 1));
    if (strcasecmp(name.c_str(), "Content-Length") == 0) {
        uint64_t n = 0;
        if (!ParseDecimal(value, n) || (haveLength_ && n != length_)) return Fail();
        haveLength_ = true;
        length_ = n;
    } else if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0) {
        // Only chunked framing is read; a coding this reader cannot undo makes no body.
        if (strcasecmp(value.c_str(), "chunked") != 0) return Fail();
        chunked_ = true;
    }
    return state_;
}

LHttpReplyReader::State LHttpReplyReader::EndOfHeaders() {
    // Informational replies and every status but 200: the body does not matter.
    if (status_ != 200) return state_ = State::Done;
    if (chunked_) {
        part_ = Part::ChunkSize;
    } else if (haveLength_) {
        if (length_ > maxBody_) return Fail();
        if (length_ == 0) return state_ = State::Done;
        part_ = Part::Sized;
    } else {
        part_ = Part::ToClose;
    }
    return state_;
}

std::string LHttpRequestText(const LHttpRequest& request) {
    // The Host header names the server as the request was told it ("host" or "host:port").
    std::string host = request.server;
    const size_t colon = host.find(':');
    if (colon != std::string::npos && host.substr(colon + 1) == std::to_string(80))
        host.resize(colon);
    return "GET " + request.path + " HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: Tamber/" TAMBER_VERSION "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

LHttpOutcome ProcessHttpGet(LProgressDialog* dlg, const LHttpRequest& request,
                            std::vector<uint8_t>& body) {
    using Clock = std::chrono::steady_clock;
    body.clear();
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(uint64_t(request.timeoutMs) * kBudgetTimeouts);
    auto limit = [&]() -> uint32_t {
        const auto now = Clock::now();
        if (now >= deadline) return 0;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        return left < request.timeoutMs ? uint32_t(left) : request.timeoutMs;
    };
    auto ended = [](int status) {
        return status == LPROCESS_STOPPED ? LHttpOutcome::Stopped : LHttpOutcome::Failed;
    };
    if (!LIPSystemStartup()) return LHttpOutcome::Failed;
    struct Shutdown {
        ~Shutdown() { LIPSystemShutDown(); }
    } shutdown;

    LIPAddress address(request.server.c_str(), request.defaultPort, dlg, limit());
    if (!address.IsValid()) {
        LTrace("ProcessHttpGet no address for the server");
        return dlg && dlg->PumpMessages() ? LHttpOutcome::Stopped : LHttpOutcome::Failed;
    }
    LIPSocketTCP socket;
    int status = ProcessConnect(dlg, socket, address, true, limit());
    if (status != LPROCESS_OK) return ended(status);
    const std::string text = LHttpRequestText(request);
    status = ProcessSend(dlg, text.data(), int32_t(text.size()), limit(), socket);
    if (status != LPROCESS_OK) return ended(status);

    LHttpReplyReader reader(request.maxBody);
    char buffer[kReadRound];
    while (reader.state() == LHttpReplyReader::State::More) {
        const uint32_t wait = limit();
        if (wait == 0) {
            LTrace("ProcessHttpGet Time-Out");
            return LHttpOutcome::Failed;
        }
        int32_t got = 0;
        status = ProcessRecvSome(dlg, buffer, sizeof buffer, &got, wait, socket);
        if (status != LPROCESS_OK) return ended(status);
        if (got == 0) {
            // The close ends a body that runs to it; anything else was cut short.
            if (reader.Close() != LHttpReplyReader::State::Done) {
                LTrace("ProcessHttpGet reply cut short");
                return LHttpOutcome::Failed;
            }
            break;
        }
        reader.Feed(reinterpret_cast<const uint8_t*>(buffer), size_t(got));
    }
    if (reader.state() != LHttpReplyReader::State::Done) {
        LTrace("ProcessHttpGet bad reply");
        return LHttpOutcome::NotFound;
    }
    if (reader.status() != 200) {
        char line[64];
        std::snprintf(line, sizeof line, "ProcessHttpGet status %d", reader.status());
        LTrace(line);
        return LHttpOutcome::NotFound;
    }
    body = reader.body();
    return LHttpOutcome::Ok;
}
