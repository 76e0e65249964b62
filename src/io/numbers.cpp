#include "io/numbers.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <system_error>

#include "io/text.h"

namespace varnook {

namespace {

constexpr int kGeneralDigits = 15;
constexpr size_t kNumberTextCapacity = 512;

// Swaps the C notation's point for the locale's separator.
std::string WithSeparator(std::string text, char decimalSeparator)
{
    for (char& c : text) {
        if (c == '.') c = decimalSeparator;
    }
    return text;
}

}  // namespace

char FindDecimalSeparator()
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", 1.1);
    return std::string(buffer) == "1,1" ? ',' : '.';
}

std::string NormalizeDecimal(std::string_view text, char decimalSeparator)
{
    std::string result(text);
    for (char& c : result) {
        if (c == ',') c = decimalSeparator;
    }
    for (char& c : result) {
        if (c == '.') c = decimalSeparator;
    }
    return result;
}

std::optional<double> ParseLocaleNumber(std::string_view text, char decimalSeparator)
{
    text = TrimBlanks(text);
    // Accepted: [sign] digits [sep digits] | [sign] sep digits, with an optional exponent.
    // Checked by hand first so that hex floats, "inf" and "nan" never make a text a number.
    size_t i = 0;
    std::string canonical;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) canonical += text[i++];
    size_t intDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        canonical += text[i++];
        ++intDigits;
    }
    size_t fracDigits = 0;
    if (i < text.size() && text[i] == decimalSeparator) {
        canonical += '.';
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            canonical += text[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string exponent = "e";
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        size_t expDigits = 0;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
            exponent += text[j++];
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
        canonical += exponent;
        i = j;
    }
    if (i != text.size()) return std::nullopt;

    // from_chars reads the C notation whatever the locale; it takes no leading "+".
    std::string_view digits(canonical);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string FormatGeneral(double value, char decimalSeparator)
{
    if (value == 0) return "0";  // also for -0, which would otherwise be written "-0"
    // to_chars writes the C notation independent of the locale; the buffer holds any double's
    // 15-digit general form. Very large or small values come out as "1e+20", which
    // ParseLocaleNumber reads back.
    char buffer[kNumberTextCapacity];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                      kGeneralDigits);
    return WithSeparator(std::string(buffer, result.ptr), decimalSeparator);
}

std::string FormatFixed2(double value, char decimalSeparator)
{
    // to_chars rounds the exact binary value to the nearest hundredth, ties to even, which is
    // the rule we want; the buffer is large enough for the 309 digits of the largest double.
    char buffer[kNumberTextCapacity];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::string text(buffer, result.ptr);
    if (text == "-0.00") text.erase(0, 1);
    return WithSeparator(text, decimalSeparator);
}

}  // namespace varnook
