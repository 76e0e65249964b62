// Shared pieces of the fuzz targets: a host that discards everything, and a scratch file in
// memory-backed storage so each input can be handed to the steps as a real file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "control/host.h"

namespace varnook::fuzz {

class NullHost : public Host {
public:
    void LogLine(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void Yield() override {}
    void ErrorBox(const std::string&) override {}
    WindowState ProgressWindowState() const override { return WindowState::Normal; }
};

// A per-process folder under /dev/shm (or the temp folder), created on first use.
const std::string& ScratchFolder();
// Writes the bytes to ScratchFolder()/name and returns the path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

}  // namespace varnook::fuzz
