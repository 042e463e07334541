// LSCSI on Linux: the SCSI generic request on a CD device (/dev/sr*), run on a helper thread so
// that a command is sent without blocking and its end signals the completion event.
#include "cd/scsi.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "cd/posix/sgio.h"
#include "support/trace.h"

namespace {
LSGDevices g_kernel;
std::atomic<LSGDevices*> g_devices{nullptr};
}  // namespace

std::vector<std::string> LSGDevices::List() {
    std::vector<std::string> out;
    for (int i = 0; i < 32; ++i) {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/sr%d", i);
        struct stat st;
        if (stat(path, &st) == 0 && S_ISBLK(st.st_mode)) out.push_back(path);
    }
    return out;
}

int LSGDevices::Open(const char* path) {
    int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd;
}

int LSGDevices::Execute(int fd, sg_io_hdr_t* request) {
    int r;
    do r = ioctl(fd, SG_IO, request);
    while (r < 0 && errno == EINTR);
    return r;
}

void LSGDevices::Close(int fd) {
    close(fd);
}

LSGDevices& LSGGetDevices() {
    LSGDevices* d = g_devices.load();
    return d ? *d : g_kernel;
}

void LSGSetDevicesForTesting(LSGDevices* devices) {
    g_devices = devices;
}

// One request at a time goes to the helper thread, which sends it and signals the event.
struct LSCSI::Platform {
    explicit Platform(LSCSI& owner) : owner_(owner) {}
    ~Platform() {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // A command still with the device ends at its own time limit; wait for it, since
            // its buffer and sense area must not be written after they are gone.
            idle_.wait(lock, [this] { return !pending_; });
            quit_ = true;
        }
        wake_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    void Submit() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = true;
            if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
        }
        wake_.notify_all();
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || pending_; });
            if (quit_) return;
            lock.unlock();
            int r = LSGGetDevices().Execute(fd, &request);
            lock.lock();
            // The request failed on its way (not merely with sense data, driver status 8).
            const int driver = request.driver_status & 0x0F;
            transportFailed = r != 0 || request.host_status != 0 || (driver != 0 && driver != 8);
            pending_ = false;
            owner_.event_.Set();
            idle_.notify_all();
        }
    }

    LSCSI& owner_;
    int fd = -1;
    sg_io_hdr_t request{};
    uint8_t cdb[16] = {};
    uint8_t sense[32] = {};
    bool transportFailed = false;

    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    bool pending_ = false, quit_ = false;
    std::thread worker_;
};

LSCSI::LSCSI() : platform_(new Platform(*this)) {
    event_.Set();
}

LSCSI::~LSCSI() {
    Close();
    platform_.reset();
}

bool LSCSI::UseASPI32() {
    return false;
}

int LSCSI::GetASPIAdapterCount() {
    LTrace("LSCSI::GetASPIAdapterCount() called when !UseASPI32");
    return 0;
}

int LSCSI::GetCDROMDriveCount() {
    return int(LSGGetDevices().List().size());
}

bool LSCSI::OpenCDROMDrive(int index) {
    std::vector<std::string> drives = LSGGetDevices().List();
    if (index < 0 || size_t(index) >= drives.size()) return false;
    return OpenSPTD(drives[size_t(index)].c_str());
}

bool LSCSI::OpenSPTD(const char* root) {
    Close();
    platform_->fd = LSGGetDevices().Open(root);
    if (platform_->fd < 0) {
        LTrace("LSCSI::OpenSPTD Drive specified cannot be opened");
        return false;
    }
    return true;
}

void LSCSI::Close() {
    if (platform_->fd >= 0) {
        {
            std::unique_lock<std::mutex> lock(platform_->mutex_);
            platform_->idle_.wait(lock, [this] { return !platform_->pending_; });
        }
        LSGGetDevices().Close(platform_->fd);
    }
    platform_->fd = -1;
}

int LSCSI::ExecuteAsync(const uint8_t* cdb, int cdbLength, int direction, uint32_t dataLength,
                        void* data) {
    Platform& p = *platform_;
    if (p.fd < 0 || cdbLength < 1 || cdbLength > 16) {
        event_.Set();
        return LPROCESS_FAILED;
    }
    {
        // Only one command runs at a time: a caller that stopped waiting for the previous one
        // waits here until the device has let it go.
        std::unique_lock<std::mutex> lock(p.mutex_);
        p.idle_.wait(lock, [&p] { return !p.pending_; });
    }
    std::memset(&p.request, 0, sizeof p.request);
    std::memset(p.sense, 0, sizeof p.sense);
    std::memcpy(p.cdb, cdb, size_t(cdbLength));
    p.request.interface_id = 'S';
    p.request.dxfer_direction = dataLength == 0              ? SG_DXFER_NONE
                                : direction == LSCSI_DATA_IN ? SG_DXFER_FROM_DEV
                                                             : SG_DXFER_TO_DEV;
    p.request.cmd_len = uint8_t(cdbLength);
    p.request.mx_sb_len = 14;
    p.request.dxfer_len = dataLength;
    p.request.dxferp = data;
    p.request.cmdp = p.cdb;
    p.request.sbp = p.sense;
    p.request.timeout = LCDGetTimeouts().deviceSeconds * 1000u;
    p.transportFailed = false;
    event_.Reset();
    p.Submit();
    return LPROCESS_OK;
}

bool LSCSI::CommandFailed() {
    const Platform& p = *platform_;
    if (p.transportFailed) return true;
    return p.request.status != 0 && (p.sense[2] != 0 || p.sense[12] != 0 || p.sense[13] != 0);
}

bool LSCSI::TargetBusy() {
    return false;
}
