// A file that the test process may only read, even when the tests run as root (as they do in
// CI containers), where the permission bits alone would not stop a write.
#pragma once

#include <string>

namespace varnook::test {

// Sets the file's mode to 0444 and, for its lifetime, drops the process's power to override
// file permissions (CAP_DAC_OVERRIDE) from the effective set; it stays permitted and is raised
// again when the guard goes, as is the file's write permission.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(std::string path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // True when an attempt to open the file for writing now fails, so a test can skip instead
    // of passing for the wrong reason where the environment cannot take the right away.
    bool WritesRefused() const;

private:
    std::string path_;
    bool capabilityDropped_ = false;
};

}  // namespace varnook::test
