#include "cli/terminal_text.h"

#include <unistd.h>

#include <cstdint>

#include "io/text.h"

namespace varnook {
namespace {

constexpr char kShown = '?';
constexpr uint8_t kFirstPrintable = 0x20;
constexpr uint8_t kDelete = 0x7F;
// The C1 controls, U+0080 to U+009F, are the two-byte characters C2 80 to C2 9F.
constexpr uint8_t kC1Lead = 0xC2;
constexpr uint8_t kLastC1Trail = 0x9F;

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
        const size_t length = Utf8SequenceLength(text, 0);
        const bool c1 = length == 2 && byte == kC1Lead && static_cast<uint8_t>(text[1]) <= kLastC1Trail;
        if (length != 0 && !c1) {
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
