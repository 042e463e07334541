// The platform primitives under the TCP client (Winsock on Windows, POSIX sockets elsewhere).
#pragma once

#include <cstdint>

#include "support/sockethandle.h"

namespace lsock {

using Handle = LSocketHandle;

bool Startup();
void Shutdown();
// Name lookup: the first IPv4 address (network byte order); may block, so callers run it on a
// helper thread.
bool Resolve(const char* host, uint32_t* addressNetworkOrder);

// A TCP stream socket over IPv4, or kInvalidSocket.
Handle Create();
void Close(Handle h);
bool SetNonBlocking(Handle h);
bool SetNoDelay(Handle h);

// Starts a connection: 0 connected at once, 1 under way, -1 failed.
int ConnectStart(Handle h, uint32_t addressNetworkOrder, uint16_t port);
// Waits up to ms: 1 ready, 0 nothing yet, -1 failed. WaitConnected reports a refused or reset
// connection attempt as -1.
int WaitConnected(Handle h, uint32_t ms);
int WaitReadable(Handle h, uint32_t ms);
int WaitWritable(Handle h, uint32_t ms);
// Bytes that can be read at once, -1 on failure.
int32_t BytesReady(Handle h);
// One byte: 1 read, 0 the peer closed, -1 failed.
int RecvByte(Handle h, char* byte);
// Up to size bytes: how many were read, 0 when the peer closed, -1 on failure.
int32_t Recv(Handle h, char* bytes, int32_t size);
// Bytes sent; 0 when the socket would block; -1 on failure.
int32_t Send(Handle h, const char* bytes, int32_t length);
// The last error code (for trace texts).
int LastError();

}  // namespace lsock
