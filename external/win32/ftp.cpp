// Anonymous passive FTP through WinInet: every entry point is looked up by name when used.
#include "external/win32/ftp.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/trace.h"

namespace {

HMODULE g_winInet = nullptr;

using InternetOpenAFn = LInternetHandle(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using InternetGetConnectedStateFn = BOOL(WINAPI*)(LPDWORD, DWORD);
using InternetAutodialFn = BOOL(WINAPI*)(DWORD, HWND);
using InternetCloseHandleFn = BOOL(WINAPI*)(LInternetHandle);
using InternetAutodialHangupFn = BOOL(WINAPI*)(DWORD);
using InternetConnectAFn = LInternetHandle(WINAPI*)(LInternetHandle, LPCSTR, WORD, LPCSTR, LPCSTR,
                                                    DWORD, DWORD, DWORD_PTR);
using FtpSetCurrentDirectoryAFn = BOOL(WINAPI*)(LInternetHandle, LPCSTR);
using FtpOpenFileAFn = LInternetHandle(WINAPI*)(LInternetHandle, LPCSTR, DWORD, DWORD, DWORD_PTR);
using FtpGetFileSizeFn = DWORD(WINAPI*)(LInternetHandle, LPDWORD);
using InternetReadFileFn = BOOL(WINAPI*)(LInternetHandle, LPVOID, DWORD, LPDWORD);

template <class Fn>
Fn Proc(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(LWinInetProc(name)));
}

constexpr DWORD kOpenTypeDirect = 1;
constexpr DWORD kConnectionOffline = 0x20;
constexpr DWORD kAutodialForceOnlineUnattended = 3;
constexpr DWORD kServiceFtp = 1;
constexpr DWORD kFlagPassive = 0x08000000;
constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kBinaryAlwaysReload = 0x80000002;
constexpr uint32_t kAssumedSize = 0x100000;

}  // namespace

FARPROC LWinInetProc(const char* name) {
    if (!g_winInet) g_winInet = LoadLibraryA("WinINet.DLL");
    if (!g_winInet) return nullptr;
    return GetProcAddress(g_winInet, name);
}

bool LFileTransferProtocol::Connect() {
    if (internet_) return true;
    if (!g_winInet) g_winInet = LoadLibraryA("WinINet.DLL");
    if (!g_winInet) {
        LTrace("LFileTransferProtocol::Connect() LoadLibrary WinINet.DLL failed");
        return false;
    }
    auto open = Proc<InternetOpenAFn>("InternetOpenA");
    internet_ = open ? open("LLIBFTP", kOpenTypeDirect, nullptr, nullptr, 0) : nullptr;
    if (!internet_) {
        LTrace("LFileTransferProtocol::Connect() Internet Open Failed");
        return false;
    }
    dialled_ = false;
    auto state = Proc<InternetGetConnectedStateFn>("InternetGetConnectedState");
    if (!state) return true;
    DWORD flags = 0;
    if (state(&flags, 0) && !(flags & kConnectionOffline)) return true;
    if (auto dial = Proc<InternetAutodialFn>("InternetAutodial"))
        dial(kAutodialForceOnlineUnattended, GetDesktopWindow());
    dialled_ = true;
    return true;
}

void LFileTransferProtocol::Disconnect() {
    if (!internet_) return;
    auto close = Proc<InternetCloseHandleFn>("InternetCloseHandle");
    if (close) {
        if (hService) close(hService);
        close(internet_);
    }
    hService = nullptr;
    internet_ = nullptr;
    if (dialled_) {
        if (auto hangup = Proc<InternetAutodialHangupFn>("InternetAutodialHangup")) hangup(0);
        dialled_ = false;
    }
}

bool LFileTransferProtocol::LogOnServer(const char* server) {
    if (!internet_ && !Connect()) return false;
    if (hService) {
        if (auto close = Proc<InternetCloseHandleFn>("InternetCloseHandle")) close(hService);
        hService = nullptr;
    }
    std::string host = server ? server : "";
    WORD port = 21;
    if (size_t colon = host.rfind(':'); colon != std::string::npos) {
        port = WORD(std::atoi(host.c_str() + colon + 1));
        host.resize(colon);
    }
    auto connect = Proc<InternetConnectAFn>("InternetConnectA");
    if (connect)
        hService =
            connect(internet_, host.c_str(), port, nullptr, nullptr, kServiceFtp, kFlagPassive, 0);
    if (!hService) {
        LTrace("LFileTransferProtocol::LogOnServer(anonymous) InternetConnect FAILED");
        return false;
    }
    return true;
}

bool LFileTransferProtocol::SetCurrentDirectory(const char* folder) {
    if (!folder || !*folder) return true;
    if (!hService) return false;
    auto cd = Proc<FtpSetCurrentDirectoryAFn>("FtpSetCurrentDirectoryA");
    return cd && cd(hService, folder);
}

int ProcessFtpLogOnServer(LProgressDialog* dlg, LFileTransferProtocol* ftp, const char* server) {
    if (dlg->PumpMessages()) return LPROCESS_STOPPED;
    return ftp->LogOnServer(server) ? LPROCESS_OK : LPROCESS_FAILED;
}

int ProcessFtpSetCurrentDirectory(LProgressDialog* dlg, LFileTransferProtocol* ftp,
                                  const char* folder) {
    if (dlg->PumpMessages()) return LPROCESS_STOPPED;
    return ftp->SetCurrentDirectory(folder) ? LPROCESS_OK : LPROCESS_FAILED;
}

int ProcessFtpDownload(LProgressDialog* dlg, const char* remoteName, const char* localPath,
                       LInternetHandle service, uint32_t maxBytes) {
    dlg->SetText("Downloading", 0);
    dlg->SetText(remoteName, 1);
    if (!service) {
        LTrace("ProcessFtpDownload Called when ftp.hService is NULL (Not Connected)");
        return LPROCESS_FAILED;
    }
    auto read = Proc<InternetReadFileFn>("InternetReadFile");
    if (!read) {
        LTrace("ProcessFtpDownload InternetReadFile is not in DLL");
        return LPROCESS_FAILED;
    }
    auto close = Proc<InternetCloseHandleFn>("InternetCloseHandle");
    if (!close) {
        LTrace("ProcessFtpDownload InternetCloseHandle is not in DLL");
        return LPROCESS_FAILED;
    }
    auto open = Proc<FtpOpenFileAFn>("FtpOpenFileA");
    if (!open) {
        LTrace("ProcessFtpDownload FtpOpenFileA is not in DLL");
        return LPROCESS_FAILED;
    }
    dlg->SetProgress(0.05);
    LInternetHandle remote = open(service, remoteName, kGenericRead, kBinaryAlwaysReload, 0);
    if (!remote) return LPROCESS_FAILED;

    uint32_t size = 0;
    if (auto getSize = Proc<FtpGetFileSizeFn>("FtpGetFileSize")) {
        DWORD high = 0;
        size = getSize(remote, &high);
        if (size == 0xFFFFFFFF) size = 0;  // failure reported by the call
    }
    if (size == 0) size = kAssumedSize;
    double progress = 0.1;
    double step = 230.4 / double(size);

    int result = LPROCESS_FAILED;
    HANDLE local = CreateFileA(localPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (local != INVALID_HANDLE_VALUE) {
        char block[256];
        uint64_t total = 0;
        for (;;) {
            if (dlg->PumpMessages()) {
                result = LPROCESS_STOPPED;
                break;
            }
            dlg->SetProgress(progress < 1.0 ? progress : 1.0);
            progress += step;
            DWORD got = 0;
            if (!read(remote, block, sizeof block, &got)) {
                result = LPROCESS_FAILED;
                break;
            }
            if (got == 0) {
                result = LPROCESS_OK;
                break;
            }
            // A file longer than the limit is cut there; the caller sees its length.
            const bool last = total + got >= maxBytes;
            if (last) got = DWORD(maxBytes - total);
            total += got;
            DWORD written = 0;
            if (!WriteFile(local, block, got, &written, nullptr) || written != got) {
                LTrace("ProcessFtpDownload WriteFile FAILED");
                break;
            }
            if (last) {
                LTrace("ProcessFtpDownload the file reached its limit");
                result = LPROCESS_OK;
                break;
            }
        }
        if (!CloseHandle(local)) result = LPROCESS_FAILED;
    }
    close(remote);
    return result;
}
