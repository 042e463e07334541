// Line-oriented TCP client: non-blocking sockets, every wait cut into short slices with the
// progress surface pumped in between so that the user can cancel.
#pragma once

#include <cstdint>

#include "support/progress.h"
#include "support/sockethandle.h"

// Starts and stops the platform's socket system; one pair brackets each use.
bool LIPSystemStartup();
void LIPSystemShutDown();

// An IPv4 address (network byte order) and a port, from "host" or "host:port". The host is
// taken as a dotted address when it parses as one, otherwise resolved by name (the first IPv4
// address of the answer). A name lookup runs on a helper thread while the progress surface
// waits for it, so it can be cancelled and is bounded by the time-out.
class LIPAddress {
  public:
    LIPAddress() = default;
    LIPAddress(const char* szHostAddressAndPort, uint16_t DefaultPort,
               LProgressDialog* dlg = nullptr, uint32_t timeoutMs = 10000);

    bool IsValid() const { return valid; }

    uint32_t address = 0;  // network byte order
    uint16_t port = 0;     // host byte order
    bool valid = false;
};

// Parses a strict dotted IPv4 address ("a.b.c.d", each 0 to 255); false otherwise.
bool LIPParseDotted(const char* text, uint32_t* addressNetworkOrder);

class LIPSocket {
  public:
    using Handle = LSocketHandle;
    static constexpr Handle kInvalid = kInvalidSocket;

    LIPSocket() = default;
    ~LIPSocket() { Close(); }
    LIPSocket(const LIPSocket&) = delete;
    LIPSocket& operator=(const LIPSocket&) = delete;

    bool IsOpen() const { return handle != kInvalid; }
    void Close();
    bool SetNonBlocking();

    Handle handle = kInvalid;
};

class LIPSocketTCP : public LIPSocket {
  public:
    // Bytes that can be read at once; -1 on failure.
    int32_t GetBytesReady();
};

// Each returns 0, LPROCESS_STOPPED (cancelled) or LPROCESS_FAILED (error, closed connection or
// time-out).
int ProcessConnect(LProgressDialog* dlg, LIPSocketTCP& socket, const LIPAddress& address,
                   bool noDelay, uint32_t timeoutMs);
// One line without its line end into line (260 characters: at most 259 kept, the rest of a
// longer line dropped). The time-out bounds the whole line, so a peer that trickles bytes
// without ever ending the line cannot hold the caller longer than that.
int ProcessRecvLine(LProgressDialog* dlg, char* line, uint32_t timeoutMs, LIPSocketTCP& socket);
// Waits for input, then reads what has arrived (at most size bytes) into bytes; *got is 0 when
// the peer closed the connection. The time-out bounds the wait.
int ProcessRecvSome(LProgressDialog* dlg, char* bytes, int32_t size, int32_t* got,
                    uint32_t timeoutMs, LIPSocketTCP& socket);
// Sends all bytes, at most 1024 per call; the time-out bounds the whole send.
int ProcessSend(LProgressDialog* dlg, const char* bytes, int32_t length, uint32_t timeoutMs,
                LIPSocketTCP& socket);
int ProcessSendString(LProgressDialog* dlg, const char* text, uint32_t timeoutMs,
                      LIPSocketTCP& socket);
