#include "id3/tag_text.h"

#include <algorithm>
#include <vector>

#include "io/text.h"

namespace varnook {

namespace {
constexpr uint8_t kBlank = ' ';
constexpr uint8_t kFirstNonAscii = 0x80;
constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kByteOrderMark = 0xFEFF;
constexpr char32_t kSwappedByteOrderMark = 0xFFFE;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The values of a frame, split at zero characters, each decoded.
std::vector<std::string> Utf16Values(std::span<const uint8_t> bytes, bool bigEndian)
{
    std::vector<std::string> values(1);
    bool valueStart = true;
    bool bigEndianHere = bigEndian;
    char32_t pendingHigh = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = bigEndianHere ? char32_t(bytes[i] << 8 | bytes[i + 1])
                                      : char32_t(bytes[i + 1] << 8 | bytes[i]);
        if (valueStart && (unit == kByteOrderMark || unit == kSwappedByteOrderMark)) {
            // Read in the wrong order, the mark comes out swapped: flip and go on.
            if (unit == kSwappedByteOrderMark) bigEndianHere = !bigEndianHere;
            valueStart = false;
            continue;
        }
        valueStart = false;
        if (pendingHigh != 0) {
            if (unit >= kLowSurrogateFirst && unit < kSurrogateEnd) {
                AppendUtf8(values.back(),
                           0x10000 + ((pendingHigh - kHighSurrogateFirst) << 10) + (unit - kLowSurrogateFirst));
                pendingHigh = 0;
                continue;
            }
            AppendUtf8(values.back(), kReplacement);
            pendingHigh = 0;
        }
        if (unit == 0) {
            values.emplace_back();
            valueStart = true;
            bigEndianHere = bigEndian;
        } else if (unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst) {
            pendingHigh = unit;
        } else if (unit >= kLowSurrogateFirst && unit < kSurrogateEnd) {
            AppendUtf8(values.back(), kReplacement);
        } else {
            AppendUtf8(values.back(), unit);
        }
    }
    if (pendingHigh != 0) AppendUtf8(values.back(), kReplacement);
    return values;
}

std::string Utf8OrLatin1(std::span<const uint8_t> bytes)
{
    const std::string_view whole(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string_view text = whole.substr(0, Utf8CutLength(whole, whole.size()));
    bool beyondAscii = false;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return Latin1ToUtf8(bytes);
        beyondAscii = beyondAscii || length > 1;
        i += length;
    }
    // One high byte after plain ASCII ("Caf\xE9") is far likelier a Latin-1 letter than a
    // character cut after its first byte.
    if (whole.size() - text.size() == 1 && !beyondAscii) return Latin1ToUtf8(bytes);
    return std::string(text);
}

std::vector<std::string> SplitAtZeros(const std::string& text)
{
    std::vector<std::string> values(1);
    for (const char c : text) {
        if (c == '\0') {
            values.emplace_back();
        } else {
            values.back() += c;
        }
    }
    return values;
}

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

std::string DecodeId3Text(uint8_t encoding, std::span<const uint8_t> bytes,
                          std::string_view separator)
{
    std::vector<std::string> values;
    switch (encoding) {
    case kId3Utf16: values = Utf16Values(bytes, false); break;
    case kId3Utf16Be: values = Utf16Values(bytes, true); break;
    case kId3Utf8: values = SplitAtZeros(Utf8OrLatin1(bytes)); break;
    default: values = SplitAtZeros(Latin1ToUtf8(bytes)); break;
    }
    std::string text;
    for (const std::string& value : values) {
        if (value.empty()) continue;
        if (!text.empty()) text += separator;
        text += value;
    }
    return text;
}

size_t Utf8CutLength(std::string_view text, size_t maxBytes)
{
    const size_t cut = std::min(maxBytes, text.size());
    // A sequence is at most four bytes: look back over up to three continuation bytes
    // (10xxxxxx) for the lead byte, whose top bits say how long its sequence is.
    for (size_t back = 1; back <= 3 && back <= cut; ++back) {
        const auto byte = static_cast<uint8_t>(text[cut - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const size_t length = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        return length > back ? cut - back : cut;
    }
    return cut;
}

}  // namespace varnook
