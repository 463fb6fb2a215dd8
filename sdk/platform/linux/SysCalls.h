#pragma once

// The few system calls the Linux back-end makes, behind one interface, so
// that tests can stand in for the kernel: device nodes are opened, queried
// with ioctl, mapped and polled through it, and sysfs is read below its root.

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace sv::platform::v4l2 {

class SysCalls {
public:
    virtual ~SysCalls() = default;

    // A file descriptor, or a negative errno.
    virtual int Open(const std::string& path, int flags) = 0;
    // 0 or a negative errno.
    virtual int Close(int fd) = 0;
    // The ioctl's result (0 or more), or a negative errno. EINTR is retried.
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    // The mapping, or nullptr with `error` set to the errno.
    virtual void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset, int& error) = 0;
    // 0 or a negative errno.
    virtual int Munmap(void* address, std::size_t length) = 0;
    // The number of ready descriptors, 0 on time-out, or a negative errno.
    virtual int Poll(struct pollfd* fds, nfds_t count, int timeoutMs) = 0;

    // Where sysfs is mounted ("/sys" on a running system).
    virtual std::string SysfsRoot() const = 0;
    // Where the device nodes named by sysfs live ("/dev").
    virtual std::string DevRoot() const = 0;
};

// The kernel's own calls.
std::shared_ptr<SysCalls> RealSysCalls();

}  // namespace sv::platform::v4l2
