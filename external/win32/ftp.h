// LFileTransferProtocol: an anonymous passive FTP connection through WinInet loaded at run time.
#pragma once

#include <windows.h>

#include "support/progress.h"

using LInternetHandle = void*;

// Looks up a WinInet entry point by name ("WinINet.DLL" is loaded once, on first use, and
// stays loaded); null when the library or the function is missing.
FARPROC LWinInetProc(const char* name);

class LFileTransferProtocol {
  public:
    LFileTransferProtocol() = default;
    ~LFileTransferProtocol() { Disconnect(); }
    LFileTransferProtocol(const LFileTransferProtocol&) = delete;
    LFileTransferProtocol& operator=(const LFileTransferProtocol&) = delete;

    bool Connect();
    void Disconnect();
    // server: a host name, optionally followed by ":port" (port 21 otherwise).
    bool LogOnServer(const char* server);
    bool SetCurrentDirectory(const char* folder);

    LInternetHandle hService = nullptr;  // the connection to one server

  private:
    bool dialled_ = false;
    LInternetHandle internet_ = nullptr;
};

int ProcessFtpLogOnServer(LProgressDialog* dlg, LFileTransferProtocol* ftp, const char* server);
int ProcessFtpSetCurrentDirectory(LProgressDialog* dlg, LFileTransferProtocol* ftp,
                                  const char* folder);
// Takes at most maxBytes (a longer file is cut there); fails when a write fails.
int ProcessFtpDownload(LProgressDialog* dlg, const char* remoteName, const char* localPath,
                       LInternetHandle service, uint32_t maxBytes);
