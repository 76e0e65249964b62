#include "cli/terminal_text.h"

#include <unistd.h>

#include <cstdint>

namespace varnook {
namespace {

constexpr char kShown = '?';
constexpr uint8_t kFirstPrintable = 0x20;
constexpr uint8_t kDelete = 0x7F;
constexpr uint32_t kLastC1 = 0x9F;

bool Continues(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at the start of `text` (RFC 3629: no overlong
// form, no surrogate, nothing above U+10FFFF), or 0 when there is none. `code` gets its value.
size_t CharacterLength(std::string_view text, uint32_t& code)
{
    const auto at = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = at(0);
    size_t length = 0;
    uint8_t low = 0x80;   // the bounds of the second byte, narrower after some leads
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    if (length == 0 || text.size() < length || at(1) < low || at(1) > high) return 0;
    for (size_t i = 1; i < length; ++i) {
        if (!Continues(at(i))) return 0;
        code = code << 6 | (at(i) & 0x3F);
    }
    return length;
}

}  // namespace

std::string TerminalSafe(std::string_view text)
{
    std::string safe;
    safe.reserve(text.size());
    while (!text.empty()) {
        const auto byte = static_cast<uint8_t>(text[0]);
        if (byte < 0x80) {
            safe += byte < kFirstPrintable || byte == kDelete ? kShown : text[0];
            text.remove_prefix(1);
            continue;
        }
        uint32_t code = 0;
        const size_t length = CharacterLength(text, code);
        if (length != 0 && code > kLastC1) {
            safe.append(text.substr(0, length));
        } else {
            safe += kShown;
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return safe;
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

}  // namespace varnook
