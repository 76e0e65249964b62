// Small text helpers for the program's own ASCII syntax (settings keys, command-line keys,
// number texts). Letter case is folded for A to Z only, so user text in UTF-8 is never altered
// or misread by the locale's idea of case.
#pragma once

#include <string_view>

namespace varnook {

inline bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

constexpr char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    }
    return true;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

}  // namespace varnook
