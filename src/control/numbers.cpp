#include "control/numbers.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace varnook {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Formats in the C notation and swaps the point for the locale's separator. We format with
// snprintf under whatever LC_NUMERIC is in force, so both separators are mapped.
std::string WithSeparator(std::string text, char decimalSeparator)
{
    for (char& c : text) {
        if (c == '.' || c == ',') c = decimalSeparator;
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
    // Parsed by hand rather than with strtod so that the C library's locale, hex floats,
    // "inf" and "nan" never make a text a number.
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

    // strtod reads the C notation only when LC_NUMERIC uses a point; swap to its separator.
    const char cSeparator = FindDecimalSeparator();
    if (cSeparator != '.') {
        for (char& c : canonical) {
            if (c == '.') c = cSeparator;
        }
    }
    char* end = nullptr;
    const double value = std::strtod(canonical.c_str(), &end);
    if (end == canonical.c_str() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string FormatGeneral(double value, char decimalSeparator)
{
    if (value == 0) return "0";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text(buffer);
    // %g switches to exponent form for very large or small values; write those out in full
    // decimal form so that the text reads back through ParseLocaleNumber's plain notation too.
    if (text.find('e') != std::string::npos) {
        std::snprintf(buffer, sizeof buffer, "%.15f", value);
        text = buffer;
        if (text.find_first_of(".,") != std::string::npos) {
            while (!text.empty() && text.back() == '0') text.pop_back();
            if (!text.empty() && (text.back() == '.' || text.back() == ',')) text.pop_back();
        }
    }
    return WithSeparator(text, decimalSeparator);
}

std::string FormatFixed2(double value, char decimalSeparator)
{
    char buffer[64];
    // printf rounds the exact binary value to nearest, ties to even, which is the rule we want.
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    std::string text(buffer);
    if (text == "-0.00" || text == "-0,00") text.erase(0, 1);
    return WithSeparator(text, decimalSeparator);
}

}  // namespace varnook
