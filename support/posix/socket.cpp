// TCP client primitives over POSIX sockets (poll for the waits, no SIGPIPE on send).
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "support/socketsys.h"

namespace lsock {

namespace {

int Fd(Handle h) {
    return static_cast<int>(h);
}

// 1 when one of the events came, 0 on time-out, -1 on failure; revents gets what came.
int PollFor(Handle h, short events, uint32_t ms, short* revents) {
    pollfd p = {Fd(h), events, 0};
    int r;
    do {
        r = poll(&p, 1, static_cast<int>(ms));
    } while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    *revents = p.revents;
    return r > 0 ? 1 : 0;
}

}  // namespace

bool Startup() {
    return true;
}

void Shutdown() {}

bool Resolve(const char* host, uint32_t* address) {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list) return false;
    bool ok = false;
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            *address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
            ok = true;
            break;
        }
    }
    freeaddrinfo(list);
    return ok;
}

Handle Create() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return kInvalidSocket;
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return static_cast<Handle>(fd);
}

void Close(Handle h) {
    close(Fd(h));
}

bool SetNonBlocking(Handle h) {
    int on = 1;
    return ioctl(Fd(h), FIONBIO, &on) == 0;
}

bool SetNoDelay(Handle h) {
    int on = 1;
    return setsockopt(Fd(h), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

int ConnectStart(Handle h, uint32_t address, uint16_t port) {
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    if (connect(Fd(h), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return 0;
    return errno == EINPROGRESS || errno == EINTR ? 1 : -1;
}

int WaitConnected(Handle h, uint32_t ms) {
    short got = 0;
    int r = PollFor(h, POLLOUT, ms, &got);
    if (r <= 0) return r;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(Fd(h), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        errno = err;
        return -1;
    }
    return (got & POLLOUT) ? 1 : -1;
}

int WaitReadable(Handle h, uint32_t ms) {
    short got = 0;
    int r = PollFor(h, POLLIN, ms, &got);
    if (r <= 0) return r;
    // A hang-up or error also counts as readable: the read that follows reports it.
    return (got & (POLLIN | POLLHUP | POLLERR)) ? 1 : -1;
}

int WaitWritable(Handle h, uint32_t ms) {
    short got = 0;
    int r = PollFor(h, POLLOUT, ms, &got);
    if (r <= 0) return r;
    return (got & POLLOUT) ? 1 : -1;
}

int32_t BytesReady(Handle h) {
    int n = 0;
    if (ioctl(Fd(h), FIONREAD, &n) != 0) return -1;
    return n;
}

int RecvByte(Handle h, char* byte) {
    ssize_t r;
    do {
        r = recv(Fd(h), byte, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r == 1 ? 1 : (r == 0 ? 0 : -1);
}

int32_t Recv(Handle h, char* bytes, int32_t size) {
    ssize_t r;
    do {
        r = recv(Fd(h), bytes, static_cast<size_t>(size), 0);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : static_cast<int32_t>(r);
}

int32_t Send(Handle h, const char* bytes, int32_t length) {
    ssize_t r;
    do {
        r = send(Fd(h), bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    if (r >= 0) return static_cast<int32_t>(r);
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

int LastError() {
    return errno;
}

}  // namespace lsock
