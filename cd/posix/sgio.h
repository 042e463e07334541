// The kernel side of the CD commands on Linux: the SCSI generic request (SG_IO) on a CD device.
// The device layer can be replaced, so that the commands can be served without a kernel device.
#pragma once

#include <scsi/sg.h>

#include <string>
#include <vector>

class LSGDevices {
  public:
    virtual ~LSGDevices() = default;
    // The CD devices in drive-index order.
    virtual std::vector<std::string> List();
    // A descriptor, or -1.
    virtual int Open(const char* path);
    // ioctl(fd, SG_IO, request): 0, or -1 with errno set. May block until the command ends.
    virtual int Execute(int fd, sg_io_hdr_t* request);
    virtual void Close(int fd);
};

// The device layer in use (the kernel's unless replaced).
LSGDevices& LSGGetDevices();
// Replaces the device layer (null: the kernel's again); the caller keeps it alive while used.
void LSGSetDevicesForTesting(LSGDevices* devices);
