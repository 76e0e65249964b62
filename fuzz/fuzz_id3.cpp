// The tag readers on arbitrary bytes: they return an empty or partial set, never crash, never
// read past the buffer, never allocate what a size field claims before checking it.
#include <cstdint>

#include "fuzz_support.h"
#include "id3/id3_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = varnook::fuzz::WriteScratchFile("input.mp3", data, size);
    (void)varnook::GetId3v1(path);
    (void)varnook::GetId3v2(path);
    return 0;
}
