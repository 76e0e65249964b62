// Turning the bytes of a tag text into the UTF-8 text the rest of Varnook passes on.
//
// Tags keep their texts one byte per character in an 8-bit code page the tag does not name.
// We read every byte as the Latin-1 character of the same number (0xE9 is "é"), which is what
// tag writers that predate Unicode frames store and needs no guessing. Frames in UTF-16 or UTF-8
// are not decoded: their bytes come out one character each, exactly as the tag holds them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace varnook {

// Each byte as one Latin-1 character, encoded in UTF-8.
std::string Latin1ToUtf8(std::span<const uint8_t> bytes);

// The bytes without leading and trailing blanks (only " " counts as a blank).
std::span<const uint8_t> TrimBlanks(std::span<const uint8_t> bytes);

}  // namespace varnook
