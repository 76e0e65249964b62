// Little-endian and big-endian number helpers. WAV numbers are little-endian, ID3v2 frame sizes
// big-endian; we never cast buffers to integers, so the code is correct on any host and has no
// alignment or aliasing traps. Readers take a span and an offset and check the bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace varnook {

inline int16_t LoadLE16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

inline int32_t LoadLE32(const uint8_t* p)
{
    const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(v);
}

// A 24-bit sample, sign-extended.
inline int32_t LoadLE24(const uint8_t* p)
{
    const uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16);
    return static_cast<int32_t>(v << 8) >> 8;
}

inline uint32_t LoadBE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreLE16(uint8_t* p, int16_t value)
{
    const auto v = static_cast<uint16_t>(value);
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The low 24 bits of `value`, a 24-bit sample.
inline void StoreLE24(uint8_t* p, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[2] = static_cast<uint8_t>((v >> 16) & 0xFF);
}

inline void StoreLE32(uint8_t* p, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[2] = static_cast<uint8_t>((v >> 16) & 0xFF);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Bounds-checked forms: empty when the bytes are not all there.
inline std::optional<int16_t> ReadLE16(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 2) return std::nullopt;
    return LoadLE16(bytes.data() + offset);
}

inline std::optional<int32_t> ReadLE32(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    return LoadLE32(bytes.data() + offset);
}

inline std::optional<uint32_t> ReadBE32(std::span<const uint8_t> bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    return LoadBE32(bytes.data() + offset);
}

}  // namespace varnook
