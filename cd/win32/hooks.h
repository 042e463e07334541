// The system calls the Windows CD routes make, gathered so that a test can stand in for the
// system (a fake device handle, another platform version).
#pragma once

#include <windows.h>

struct LSCSISystemCalls {
    BOOL(WINAPI* getVersionEx)(LPOSVERSIONINFOA) = ::GetVersionExA;
    HMODULE(WINAPI* loadLibrary)(LPCSTR) = ::LoadLibraryA;
    DWORD(WINAPI* getLogicalDriveStrings)(DWORD, LPSTR) = ::GetLogicalDriveStringsA;
    UINT(WINAPI* getDriveType)(LPCSTR) = ::GetDriveTypeA;
    HANDLE(WINAPI* createFile)
    (LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) = ::CreateFileA;
    BOOL(WINAPI* deviceIoControl)
    (HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::DeviceIoControl;
    BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL) = ::GetOverlappedResult;
    BOOL(WINAPI* closeHandle)(HANDLE) = ::CloseHandle;
};

// The calls in use; a test may change them and must undo that (and LSCSIForgetRouteForTesting).
LSCSISystemCalls& LSCSIGetSystemCalls();
// Makes the next operation choose the route again.
void LSCSIForgetRouteForTesting();
