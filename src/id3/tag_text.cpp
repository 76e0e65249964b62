#include "id3/tag_text.h"

namespace varnook {

namespace {
constexpr uint8_t kBlank = ' ';
constexpr uint8_t kFirstNonAscii = 0x80;
}  // namespace

std::string Latin1ToUtf8(std::span<const uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const uint8_t byte : bytes) {
        if (byte < kFirstNonAscii) {
            text += static_cast<char>(byte);
        } else {
            // U+0080 to U+00FF take two UTF-8 bytes: 110000xx 10xxxxxx.
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::span<const uint8_t> TrimBlanks(std::span<const uint8_t> bytes)
{
    size_t begin = 0;
    size_t end = bytes.size();
    while (begin < end && bytes[begin] == kBlank) ++begin;
    while (end > begin && bytes[end - 1] == kBlank) --end;
    return bytes.subspan(begin, end - begin);
}

}  // namespace varnook
