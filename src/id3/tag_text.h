// Turning the bytes of a tag text into the UTF-8 text the rest of Varnook passes on.
//
// ID3v1 texts and ID3v2 frames with encoding byte 0 are ISO-8859-1: every byte is the Latin-1
// character of the same number (0xE9 is "é"). ID3v2 frames name their encoding in their first
// byte, and DecodeId3Text honours it. Every decoder here takes its input as untrusted: it never
// reads outside the span, and bytes that are not what their encoding promises still give text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace varnook {

// The encoding bytes of ID3v2 text frames.
enum Id3TextEncoding : uint8_t {
    kId3Latin1 = 0,
    kId3Utf16 = 1,    // with a byte order mark in front of each value
    kId3Utf16Be = 2,  // big-endian, no byte order mark (2.4)
    kId3Utf8 = 3,     // (2.4)
};

// Each byte as one Latin-1 character, encoded in UTF-8.
std::string Latin1ToUtf8(std::span<const uint8_t> bytes);

// The bytes without leading and trailing blanks (only " " counts as a blank).
std::span<const uint8_t> TrimBlanks(std::span<const uint8_t> bytes);

// The text of an ID3v2 frame body (the bytes after its encoding byte) as UTF-8.
// - UTF-16 takes its byte order from a mark at the start of each value; a value without one is
//   read little-endian, as the Windows taggers that leave it out write it. An odd last byte (a
//   text cut short) is dropped, and a surrogate without its partner becomes U+FFFD.
// - UTF-8 that is not well formed was written as Latin-1 by a tagger that got the encoding byte
//   wrong, and is read as Latin-1. An incomplete sequence at the very end is a text cut short
//   and is dropped, unless it is one byte after plain ASCII, which is read as Latin-1 too.
// - An encoding byte above 3 names no encoding; its bytes are read as Latin-1.
// Values end at a zero character: empty values (zeros at the end, padding) are dropped, and
// the others are joined with `separator` ("/" for the several values of a 2.4 frame).
std::string DecodeId3Text(uint8_t encoding, std::span<const uint8_t> bytes,
                          std::string_view separator);

// The length of the longest start of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 sequence, so a cut never leaves half a character.
size_t Utf8CutLength(std::string_view text, size_t maxBytes);

}  // namespace varnook
