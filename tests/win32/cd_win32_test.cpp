// The Windows CD routes (ASPI through a stand-in, pass-through at its seam) and CDDB over Winsock.
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "cd/cddb.h"
#include "cd/drives.h"
#include "cd/rip.h"
#include "cd/scsi.h"
#include "cd/toc.h"
#include "cd/win32/aspi.h"
#include "cd/win32/hooks.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "tests/support/fakecd.h"
#include "tests/support/soundutil.h"
#include "tests/win32/support/wintest.h"

namespace {

const testutil::DiscImage kDisc = testutil::MakeTestDisc(0);

int g_loads = 0;
HMODULE WINAPI LoadStandin(LPCSTR name) {
    ++g_loads;
    // Built under another name: under its own, Wine would load its builtin layer instead.
    return _stricmp(name, "WNASPI32")
               ? nullptr
               : LoadLibraryA(wintest::Built("tests/standin-dlls/aspi.dll").c_str());
}
BOOL WINAPI Windows98(LPOSVERSIONINFOA v) {
    v->dwMajorVersion = 4, v->dwMinorVersion = 10, v->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    return TRUE;
}

class CdWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(kDisc.Save(dir_ + "/disc.img"));
        SetEnvironmentVariableA("TAMBER_ASPI_IMAGE", (dir_ + "/disc.img").c_str());
        SetEnvironmentVariableA("TAMBER_ASPI_LOG", (dir_ + "/aspi.log").c_str());
        SetEnvironmentVariableA("TAMBER_ASPI_MODE", nullptr);
        // Rips read as the defaults say, whatever other suites left in the prefix.
        for (const LBoolSetting& s : {kSecureRip, kKeepDamaged})
            SettingsDeleteValue(s.section, s.name);
        SettingsDeleteValue(kReadOffset.section, kReadOffset.name);
    }
    void TearDown() override {
        LSCSIGetSystemCalls() = LSCSISystemCalls();
        LSCSIForgetRouteForTesting();
        LCDSetTimeoutsForTesting(LCDTimeouts());
    }
    // The stand-in's log lines of that kind ("exec", "abort").
    size_t Logged(const std::string& kind) {
        std::ifstream f(dir_ + "/aspi.log");
        size_t n = 0;
        for (std::string l; std::getline(f, l);) n += l == kind;
        return n;
    }
    // The track's samples as ripped from the drive, or none when the rip fails.
    std::vector<int32_t> Rip(int t, uint8_t drive = 0) {
        testutil::FakeProgress dlg;
        LCDROMRipTrack rec;
        auto* sink = new testutil::MemorySink(44100, 2);
        rec.nDrive = drive, rec.nTrack = uint8_t(t), rec.sink = LSinkRef(sink);
        return LRipTrack(&dlg, &rec) == LPROCESS_OK ? sink->samples : std::vector<int32_t>();
    }
    std::string dir_ = testutil::ScratchDir();
};

// ASPI: left alone on NT; on Windows 98 it rips, retries a busy target, aborts a hung read.
TEST_F(CdWin32, AspiRouteRipsRetriesABusyTargetAndAbortsAHungRead) {
    LSCSIGetSystemCalls().loadLibrary = LoadStandin;
    LSCSIForgetRouteForTesting();
    EXPECT_FALSE(LSCSI::UseASPI32());  // Wine reports an NT-family system
    EXPECT_EQ(g_loads, 0);
    LSCSIGetSystemCalls().getVersionEx = Windows98;
    LSCSIForgetRouteForTesting();
    ASSERT_TRUE(LSCSI::UseASPI32());
    LSCSI scsi;
    EXPECT_EQ(scsi.GetCDROMDriveCount(), 1);
    EXPECT_EQ(Rip(1), testutil::Internal(kDisc.TrackPCM(1)));  // faulty requests are refused

    SetEnvironmentVariableA("TAMBER_ASPI_MODE", "busy:2");
    DeleteFileA((dir_ + "/aspi.log").c_str());
    testutil::FakeProgress dlg;
    ASSERT_TRUE(scsi.OpenCDROMDrive(0));
    uint8_t tracks = 0;
    uint32_t addr[256];
    ASSERT_EQ(ProcessSCSICDGetTOC(&dlg, scsi, tracks, addr), LPROCESS_OK);
    EXPECT_EQ(std::tuple(tracks, Logged("exec")), std::tuple(5, 3u));
    // Busy for ever: asked while the 1000 ms last (at 0, 500, 1000 and 1500 ms), then failed.
    SetEnvironmentVariableA("TAMBER_ASPI_MODE", "busy:1000");
    LCDTimeouts t;
    t.tocMs = 1000;
    LCDSetTimeoutsForTesting(t);
    EXPECT_EQ(ProcessSCSICDGetTOC(&dlg, scsi, tracks, addr), LPROCESS_FAILED);
    EXPECT_EQ(Logged("exec"), 3u + 4u);

    t.readMs = 400;
    LCDSetTimeoutsForTesting(t);
    SetEnvironmentVariableA("TAMBER_ASPI_MODE", "never:1");
    DWORD t0 = GetTickCount();
    EXPECT_TRUE(Rip(2).empty());
    EXPECT_LT(GetTickCount() - t0, 5000u);
    EXPECT_EQ(Logged("abort"), 1u);
}

// A fake device at the pass-through seam: the image's answers, every second one later.
const HANDLE kFake = reinterpret_cast<HANDLE>(0x5EED);
struct FakeDevice {
    std::string opened;  // the name and the or-ed access, sharing and flags
    int calls = 0;
    DWORD failWith = 0;
    static BOOL WINAPI Close(HANDLE h) { return h == kFake; }
    static BOOL WINAPI Result(HANDLE, LPOVERLAPPED, LPDWORD done, BOOL) { return *done = 80, TRUE; }
    static UINT WINAPI Type(LPCSTR root) { return root[0] == 'E' ? DRIVE_FIXED : DRIVE_CDROM; }
} g_dev;

HANDLE WINAPI FakeCreate(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD,
                         DWORD flags, HANDLE) {
    g_dev.opened = name + (" " + std::to_string(access | share | flags));
    return kFake;
}
DWORD WINAPI FakeDrives(DWORD n, LPSTR buf) {
    std::memcpy(buf, "C:\\\0D:\\\0E:\\\0", 13);
    return 12;
}
// Serves the request from the image, as the driver would (into the caller's buffer).
void Serve(LSPTDRequest rq) {
    auto* out = static_cast<uint8_t*>(rq.sptd.DataBuffer);
    rq.sptd.ScsiStatus =
        uint8_t(kDisc.Answer(rq.sptd.Cdb, out, rq.sptd.DataTransferLength, rq.Sense));
}

BOOL WINAPI FakeIoctl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID, DWORD outSize, LPDWORD,
                      LPOVERLAPPED ov) {
    auto* full = static_cast<LSPTDRequest*>(in);
    const LSPTD* rq = &full->sptd;
    const uint32_t cdbLength = rq->Cdb[0] == 0x43 ? 10 : 12;  // READ TOC, READ CD
    if (code != 0x4D014 || inSize + outSize != 2 * sizeof(LSPTDRequest) ||
        rq->Length != sizeof(LSPTD) || (rq->PathId | rq->TargetId | rq->Lun) ||
        rq->SenseInfoLength != 14 || rq->SenseInfoOffset != offsetof(LSPTDRequest, Sense) ||
        rq->TimeOutValue != 200 || rq->DataIn != 1 || rq->CdbLength != cdbLength)
        g_dev.failWith = ERROR_INVALID_PARAMETER;
    if (g_dev.failWith) return SetLastError(g_dev.failWith), FALSE;
    ResetEvent(ov->hEvent);  // as the system does when an overlapped request starts
    if (++g_dev.calls % 2) return Serve(*full), SetEvent(ov->hEvent), TRUE;  // done at once
    // Later: the data lands only just before the event, so a caller that did not wait loses it.
    std::thread([rq = *full, e = ov->hEvent] {
        Sleep(20);
        Serve(rq);
        SetEvent(e);
    }).detach();
    return SetLastError(ERROR_IO_PENDING), FALSE;
}

TEST_F(CdWin32, PassThroughRequestsAtTheSeam) {
    LSCSISystemCalls& sys = LSCSIGetSystemCalls();
    sys.createFile = FakeCreate, sys.deviceIoControl = FakeIoctl;
    sys.closeHandle = FakeDevice::Close, sys.getOverlappedResult = FakeDevice::Result;
    sys.getLogicalDriveStrings = FakeDrives, sys.getDriveType = FakeDevice::Type;
    g_dev = FakeDevice();
    EXPECT_EQ(LCDDriveOfLetter('d'), 1);  // C: is a CD drive too
    EXPECT_EQ(LCDDriveOfLetter('E'), LCD_NO_DRIVE);

    EXPECT_EQ(Rip(1, 1), testutil::Internal(kDisc.TrackPCM(1)));
    EXPECT_EQ(g_dev.opened,
              "\\\\.\\D: " + std::to_string(GENERIC_READ | GENERIC_WRITE | FILE_SHARE_READ |
                                            FILE_SHARE_WRITE | FILE_FLAG_OVERLAPPED));
    // Secure: TOC, 24 + 16 sectors with C2 pointers, a read far away, the same again.
    EXPECT_EQ(g_dev.calls, 6);
    SettingsWrite(kSecureRip, false);
    EXPECT_EQ(Rip(1, 1), testutil::Internal(kDisc.TrackPCM(1)));
    SettingsDeleteValue(kSecureRip.section, kSecureRip.name);
    EXPECT_EQ(g_dev.calls, 6 + 3);  // TOC, 13, 27

    // Rejected at once: the event is left signalled, so a waiter returns at once.
    g_dev.failWith = ERROR_ACCESS_DENIED;
    LSCSI scsi;
    ASSERT_TRUE(scsi.OpenCDROMDrive(0));
    std::vector<int16_t> buf(1176);
    EXPECT_EQ(ProcessSCSICDReadDASectors(scsi, 0, 1, buf.data()), LPROCESS_FAILED);
    EXPECT_TRUE(scsi.CompletionEvent().WaitFor(0));
}

// The CDDB lookup over Winsock against the test servers that the harness script starts.
TEST(CDDBWinsock, NamesFromSplitPacketsAndBoundedFailures) {
    static LCDDBInfo info;
    testutil::FakeProgress dlg;
    LCDDBOutcome outcome;
    // Looks the worked-example disc up at the server CDDB_<which>; the seconds it took.
    auto lookup = [&](const char* which, int timeoutMs) {
        const char* port = std::getenv((std::string("CDDB_") + which).c_str());
        SettingsWriteString(kCDDBSection, "Server", (std::string("127.0.0.1:") + port).c_str());
        SettingsWriteInt(kCDDBSection, "Timeout", timeoutMs);
        info = LCDDBInfo{};
        info.bUseCDDB = 1;
        const uint32_t starts[] = {0, 15000, 30000};
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessCDDBLookup(&dlg, &info, starts, 3, 45000, &outcome), LPROCESS_OK);
        return testutil::SecondsSince(t0);
    };
    ASSERT_NE(std::getenv("CDDB_SPLIT"), nullptr) << "run through engine_win32_test.py";
    lookup("SPLIT", 1000);
    EXPECT_EQ(std::string(info.szArtist) + "|" + info.Tracks[0].TrackName, "AC/DC|T.N.T.");
    for (const char* which : {"REFUSE", "SILENT"}) {
        EXPECT_LT(lookup(which, 500), 2.5) << which;
        EXPECT_EQ(outcome, LCDDBOutcome::Failed) << which;
    }
    for (const char* value : {"Server", "Timeout"}) SettingsDeleteValue(kCDDBSection, value);
}

}  // namespace
