// TCP client primitives over Winsock 2.2.
#include <winsock2.h>
// winsock2.h before windows.h.
#include <windows.h>
#include <ws2tcpip.h>

#include "support/socketsys.h"

namespace lsock {

namespace {

SOCKET Sock(Handle h) {
    return static_cast<SOCKET>(h);
}

// select on one socket: 1 when it shows in one of the sets, 0 on time-out, -1 on failure.
int SelectOne(Handle h, bool read, bool write, bool except, uint32_t ms, bool* inRead,
              bool* inWrite, bool* inExcept) {
    fd_set r, w, e;
    FD_ZERO(&r);
    FD_ZERO(&w);
    FD_ZERO(&e);
    if (read) FD_SET(Sock(h), &r);
    if (write) FD_SET(Sock(h), &w);
    if (except) FD_SET(Sock(h), &e);
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    int n = select(0, read ? &r : nullptr, write ? &w : nullptr, except ? &e : nullptr, &tv);
    if (n == SOCKET_ERROR) return -1;
    if (inRead) *inRead = read && FD_ISSET(Sock(h), &r);
    if (inWrite) *inWrite = write && FD_ISSET(Sock(h), &w);
    if (inExcept) *inExcept = except && FD_ISSET(Sock(h), &e);
    return n > 0 ? 1 : 0;
}

}  // namespace

bool Startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void Shutdown() {
    WSACleanup();
}

bool Resolve(const char* host, uint32_t* address) {
    // The lookup thread may outlive the caller's start-up/shut-down pair: hold its own.
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    bool ok = false;
    if (getaddrinfo(host, nullptr, &hints, &list) == 0 && list) {
        for (addrinfo* a = list; a; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
                *address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
                ok = true;
                break;
            }
        }
        freeaddrinfo(list);
    }
    WSACleanup();
    return ok;
}

Handle Create() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    // Encoders and decoders started meanwhile must not inherit the connection.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<Handle>(s);
}

void Close(Handle h) {
    closesocket(Sock(h));
}

bool SetNonBlocking(Handle h) {
    u_long on = 1;
    return ioctlsocket(Sock(h), FIONBIO, &on) == 0;
}

bool SetNoDelay(Handle h) {
    BOOL on = TRUE;
    return setsockopt(Sock(h), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

int ConnectStart(Handle h, uint32_t address, uint16_t port) {
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    if (connect(Sock(h), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return 0;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 1 : -1;
}

int WaitConnected(Handle h, uint32_t ms) {
    bool w = false, e = false;
    int r = SelectOne(h, false, true, true, ms, nullptr, &w, &e);
    if (r <= 0) return r;
    return w ? 1 : -1;  // only the error set: refused or reset
}

int WaitReadable(Handle h, uint32_t ms) {
    bool rd = false;
    int r = SelectOne(h, true, false, false, ms, &rd, nullptr, nullptr);
    if (r <= 0) return r;
    return rd ? 1 : -1;
}

int WaitWritable(Handle h, uint32_t ms) {
    bool w = false;
    int r = SelectOne(h, false, true, false, ms, nullptr, &w, nullptr);
    if (r <= 0) return r;
    return w ? 1 : -1;
}

int32_t BytesReady(Handle h) {
    u_long n = 0;
    if (ioctlsocket(Sock(h), FIONREAD, &n) != 0) return -1;
    return n > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(n);
}

int RecvByte(Handle h, char* byte) {
    int r = recv(Sock(h), byte, 1, 0);
    return r == 1 ? 1 : (r == 0 ? 0 : -1);
}

int32_t Recv(Handle h, char* bytes, int32_t size) {
    int r = recv(Sock(h), bytes, size, 0);
    return r == SOCKET_ERROR ? -1 : r;
}

int32_t Send(Handle h, const char* bytes, int32_t length) {
    int r = send(Sock(h), bytes, length, 0);
    if (r != SOCKET_ERROR) return r;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int LastError() {
    return WSAGetLastError();
}

}  // namespace lsock
