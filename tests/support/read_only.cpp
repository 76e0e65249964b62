#include "support/read_only.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

namespace varnook::test {

namespace {

constexpr uint32_t kOverrideBit = 1u << CAP_DAC_OVERRIDE;  // in the first of the two data words

bool SetOverride(bool on, bool& wasOn)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    wasOn = (data[0].effective & kOverrideBit) != 0;
    if (on) {
        data[0].effective |= kOverrideBit;
    } else {
        data[0].effective &= ~kOverrideBit;
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(std::string path) : path_(std::move(path))
{
    ::chmod(path_.c_str(), 0444);
    bool wasOn = false;
    if (SetOverride(false, wasOn)) capabilityDropped_ = wasOn;
}

ReadOnlyFile::~ReadOnlyFile()
{
    bool wasOn = false;
    if (capabilityDropped_) SetOverride(true, wasOn);
    ::chmod(path_.c_str(), 0644);
}

bool ReadOnlyFile::WritesRefused() const
{
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return true;
    ::close(fd);
    return false;
}

}  // namespace varnook::test
