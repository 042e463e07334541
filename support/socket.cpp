// The TCP client's waits and line handling, shared by both platforms.
#include "support/socket.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "support/socketsys.h"
#include "support/thread.h"
#include "support/trace.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kConnectSliceMs = 200;
constexpr uint32_t kRecvSliceMs = 300;
constexpr uint32_t kSendSliceMs = 200;
constexpr int32_t kSendChunk = 1024;
constexpr int32_t kRecvRound = 1024;
constexpr int kMaxLine = 259;

Clock::time_point DeadlineAfter(uint32_t ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

// Milliseconds left until the deadline, 0 once it has passed.
uint32_t Remaining(Clock::time_point deadline) {
    auto now = Clock::now();
    if (now >= deadline) return 0;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<uint32_t>(ms);
}

bool Stopped(LProgressDialog* dlg) {
    return dlg && dlg->PumpMessages();
}

void TraceError(const char* text) {
    char line[200];
    std::snprintf(line, sizeof line, "%s %d", text, lsock::LastError());
    LTrace(line);
}

// A name lookup on its own thread; the state is shared so that the thread may outlive a
// caller that gave up waiting.
struct ResolveJob {
    LSignalObject done;
    std::string host;
    std::atomic<uint32_t> address{0};
    std::atomic<bool> ok{false};
};

bool ResolveWaiting(const char* host, uint32_t* address, LProgressDialog* dlg, uint32_t ms) {
    if (!dlg) return lsock::Resolve(host, address);
    auto job = std::make_shared<ResolveJob>();
    job->host = host;
    try {
        std::thread([job] {
            uint32_t a = 0;
            bool ok = lsock::Resolve(job->host.c_str(), &a);
            job->address = a;
            job->ok = ok;
            job->done.Set();
        }).detach();
    } catch (...) {
        return lsock::Resolve(host, address);
    }
    if (dlg->WaitForObject(job->done, ms) != LPROCESS_OK || !job->ok) return false;
    *address = job->address;
    return true;
}

// Waits until the socket is readable, pumping between slices: 0, LPROCESS_STOPPED or
// LPROCESS_FAILED (failed wait or deadline reached).
int WaitForInput(LProgressDialog* dlg, LIPSocketTCP& socket, Clock::time_point deadline) {
    for (;;) {
        if (Stopped(dlg)) return LPROCESS_STOPPED;
        // Checked before every wait: a peer that keeps bytes coming without ending the line
        // would otherwise never let the wait run out.
        uint32_t left = Remaining(deadline);
        if (left == 0) return LPROCESS_FAILED;
        int r = lsock::WaitReadable(socket.handle, left < kRecvSliceMs ? left : kRecvSliceMs);
        if (r > 0) return LPROCESS_OK;
        if (r < 0) return LPROCESS_FAILED;
        if (left <= kRecvSliceMs) return LPROCESS_FAILED;
    }
}

}  // namespace

bool LIPSystemStartup() {
    if (lsock::Startup()) return true;
    LTrace("LIPSystemStartup() WSAStartup FAILED");
    return false;
}

void LIPSystemShutDown() {
    lsock::Shutdown();
}

bool LIPParseDotted(const char* text, uint32_t* address) {
    uint8_t parts[4];
    const char* p = text;
    for (int i = 0; i < 4; ++i) {
        if (*p < '0' || *p > '9') return false;
        int value = 0, digits = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + (*p++ - '0');
            if (++digits > 3 || value > 255) return false;
        }
        parts[i] = static_cast<uint8_t>(value);
        if (i < 3 && *p++ != '.') return false;
    }
    if (*p) return false;
    // Network byte order: the first part is the first byte in memory.
    std::memcpy(address, parts, 4);
    return true;
}

LIPAddress::LIPAddress(const char* szHostAddressAndPort, uint16_t DefaultPort, LProgressDialog* dlg,
                       uint32_t timeoutMs) {
    char host[260];
    std::snprintf(host, sizeof host, "%s", szHostAddressAndPort ? szHostAddressAndPort : "");
    port = DefaultPort;
    if (char* colon = std::strchr(host, ':')) {
        *colon = 0;
        long value = 0;
        const char* p = colon + 1;
        if (*p < '0' || *p > '9') return;
        while (*p >= '0' && *p <= '9' && value <= 65535) value = value * 10 + (*p++ - '0');
        if (*p || value < 1 || value > 65535) return;
        port = static_cast<uint16_t>(value);
    }
    if (!host[0]) return;
    if (LIPParseDotted(host, &address) || ResolveWaiting(host, &address, dlg, timeoutMs)) {
        valid = true;
        return;
    }
    std::string text = "LIPAddress::LIPAddress Unable to resolve host name (gethostbyname failed):";
    LTrace((text + host).c_str());
}

void LIPSocket::Close() {
    if (handle == kInvalid) return;
    lsock::Close(handle);
    handle = kInvalid;
}

bool LIPSocket::SetNonBlocking() {
    if (lsock::SetNonBlocking(handle)) return true;
    LTrace("LIPSocket::SetNonBlocking() ioctlsocket FAILED");
    return false;
}

int32_t LIPSocketTCP::GetBytesReady() {
    int32_t n = lsock::BytesReady(handle);
    if (n < 0) LTrace("LIPSocketTCP::GetBytesReady ioctlsocket error");
    return n;
}

int ProcessConnect(LProgressDialog* dlg, LIPSocketTCP& socket, const LIPAddress& address,
                   bool noDelay, uint32_t timeoutMs) {
    socket.Close();
    socket.handle = lsock::Create();
    if (!socket.IsOpen()) {
        LTrace("ProcessConnect(LIPSocketTCP) Unable to create socket (socket function failed)");
        return LPROCESS_FAILED;
    }
    if (socket.SetNonBlocking() && address.IsValid()) {
        if (noDelay) lsock::SetNoDelay(socket.handle);
        int started = lsock::ConnectStart(socket.handle, address.address, address.port);
        if (started == 0) return LPROCESS_OK;
        if (started > 0) {
            auto deadline = DeadlineAfter(timeoutMs);
            for (;;) {
                uint32_t left = Remaining(deadline);
                int r = lsock::WaitConnected(socket.handle,
                                             left < kConnectSliceMs ? left : kConnectSliceMs);
                if (r > 0) return LPROCESS_OK;
                if (r < 0) {
                    TraceError("ProcessSocketConnect connect-select FAILED");
                    break;
                }
                if (Stopped(dlg)) {
                    socket.Close();
                    return LPROCESS_STOPPED;
                }
                if (left <= kConnectSliceMs) {
                    LTrace("ProcessSocketConnect Time-Out");
                    break;
                }
            }
        }
    }
    socket.Close();
    return LPROCESS_FAILED;
}

int ProcessRecvLine(LProgressDialog* dlg, char* line, uint32_t timeoutMs, LIPSocketTCP& socket) {
    int stored = 0;
    line[0] = 0;
    auto deadline = DeadlineAfter(timeoutMs);
    for (;;) {
        int status = WaitForInput(dlg, socket, deadline);
        if (status != LPROCESS_OK) {
            line[stored] = 0;
            return status;
        }
        int32_t ready = socket.GetBytesReady();
        if (ready <= 0) {
            if (ready == 0)
                LTrace(
                    "ProcessRecvLine(LIPSocketTCP) 0 bytes ready when select returned true - "
                    "assume closed");
            line[stored] = 0;
            return LPROCESS_FAILED;
        }
        // One byte per receive, so that nothing after the line feed leaves the socket; a few at
        // a time, so that the time-out and Cancel are looked at again soon.
        if (ready > kRecvRound) ready = kRecvRound;
        for (int32_t i = 0; i < ready; ++i) {
            char c;
            if (lsock::RecvByte(socket.handle, &c) != 1) {
                LTrace("ProcessRecvLine(LIPSocketTCP) recv CLOSED or FAILED!");
                line[stored] = 0;
                return LPROCESS_FAILED;
            }
            if (c == '\n') {
                line[stored] = 0;
                return LPROCESS_OK;
            }
            if (c != '\r' && stored < kMaxLine) line[stored++] = c;
        }
    }
}

int ProcessRecvSome(LProgressDialog* dlg, char* bytes, int32_t size, int32_t* got,
                    uint32_t timeoutMs, LIPSocketTCP& socket) {
    *got = 0;
    int status = WaitForInput(dlg, socket, DeadlineAfter(timeoutMs));
    if (status != LPROCESS_OK) return status;
    int32_t n = lsock::Recv(socket.handle, bytes, size);
    if (n < 0) {
        TraceError("ProcessRecvSome(LIPSocketTCP) recv FAILED:");
        return LPROCESS_FAILED;
    }
    *got = n;
    return LPROCESS_OK;
}

int ProcessSend(LProgressDialog* dlg, const char* bytes, int32_t length, uint32_t timeoutMs,
                LIPSocketTCP& socket) {
    auto deadline = DeadlineAfter(timeoutMs);
    while (!Stopped(dlg)) {
        for (;;) {
            int32_t chunk = length < kSendChunk ? length : kSendChunk;
            int32_t sent = chunk > 0 ? lsock::Send(socket.handle, bytes, chunk) : 0;
            if (sent < 0) {
                TraceError("ProcessSend(LIPSocketTCP) send FAILED:");
                return LPROCESS_FAILED;
            }
            if (sent == length) return LPROCESS_OK;
            bytes += sent;
            length -= sent;
            if (sent < kSendChunk) break;
        }
        int r = lsock::WaitWritable(socket.handle, kSendSliceMs);
        if (r < 0) {
            LTrace("ProcessSend(LIPSocketTCP) select FAILED");
            return LPROCESS_FAILED;
        }
        // The time-out bounds the whole send, however the peer paces its window.
        if (Remaining(deadline) == 0) {
            LTrace("ProcessSend(LIPSocketTCP) Time-Out");
            return LPROCESS_FAILED;
        }
    }
    return LPROCESS_STOPPED;
}

int ProcessSendString(LProgressDialog* dlg, const char* text, uint32_t timeoutMs,
                      LIPSocketTCP& socket) {
    return ProcessSend(dlg, text, static_cast<int32_t>(std::strlen(text)), timeoutMs, socket);
}
