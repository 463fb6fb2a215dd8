#include "platform/linux/SysCalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

namespace sv::platform::v4l2 {
namespace {

class KernelSysCalls final : public SysCalls {
public:
    int Open(const std::string& path, int flags) override {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    int Close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        int result;
        do {
            result = ::ioctl(fd, request, arg);
        } while (result < 0 && errno == EINTR);
        return result >= 0 ? result : -errno;
    }
    void* Mmap(std::size_t length, int prot, int flags, int fd, off_t offset, int& error) override {
        void* address = ::mmap(nullptr, length, prot, flags, fd, offset);
        if (address == MAP_FAILED) {
            error = errno;
            return nullptr;
        }
        error = 0;
        return address;
    }
    int Munmap(void* address, std::size_t length) override {
        return ::munmap(address, length) == 0 ? 0 : -errno;
    }
    int Poll(struct pollfd* fds, nfds_t count, int timeoutMs) override {
        const int result = ::poll(fds, count, timeoutMs);
        return result >= 0 ? result : -errno;
    }
    std::string SysfsRoot() const override { return "/sys"; }
    std::string DevRoot() const override { return "/dev"; }
};

}  // namespace

std::shared_ptr<SysCalls> RealSysCalls() {
    static const auto calls = std::make_shared<KernelSysCalls>();
    return calls;
}

}  // namespace sv::platform::v4l2
