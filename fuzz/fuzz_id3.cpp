// The tag readers on arbitrary bytes: they return an empty or partial set, never crash, never
// read past the buffer, never allocate what a size field claims before checking it. The same
// bytes go through the text decoding of every encoding, as a WAV file's tag chunks and as a FLAC
// file, and through the frame-by-frame carry-over into a small MP3.
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "id3/carry_over.h"
#include "id3/id3_reader.h"
#include "id3/source_tags.h"
#include "id3/tag_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace varnook;
    const std::string path = fuzz::WriteScratchFile("input.mp3", data, size);
    (void)GetId3v1(path);
    (void)GetId3v2(path);
    const std::span<const uint8_t> bytes(data, size);
    (void)Id3v2FromBytes(bytes);
    if (size > 0) (void)DecodeId3Text(data[0], bytes.subspan(1), "/");
    (void)ReadSourceTagSets(fuzz::WriteScratchFile("input.wav", data, size));
    // A fresh stand-in for lame's output each time, so the carried frames never pile up.
    static const uint8_t kTarget[64] = {0xFF, 0xFB, 0x90, 0x00};
    const std::string target = fuzz::WriteScratchFile("new.mp3", kTarget, sizeof kTarget);
    (void)CarriedFrames(path).WriteInto(target);
    CarriedFrames fromWav(fuzz::ScratchFolder() + "/input.wav");
    (void)fromWav.RoomNeeded();
    (void)fromWav.WriteInto(target);
    // Other formats reach TagLib's own readers; what they give is turned into frames.
    const std::string flac = fuzz::WriteScratchFile("input.flac", data, size);
    (void)ReadSourceTagSets(flac);
    (void)CarriedFrames(flac).WriteInto(target);
    return 0;
}
