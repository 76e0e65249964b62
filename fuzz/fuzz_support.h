// Shared pieces of the fuzz targets: a scratch file in
// memory-backed storage, so each input can be handed to the steps as a real file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>


namespace varnook::fuzz {

// A per-process folder under /dev/shm (or the temp folder), created on first use.
const std::string& ScratchFolder();
// Writes the bytes to ScratchFolder()/name and returns the path.
std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

}  // namespace varnook::fuzz
