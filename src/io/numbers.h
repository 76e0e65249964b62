// Number texts in the user's locale: the decimal separator, NormalizeDecimal, the test
// "is this a number in the locale's notation", and the two output forms (general form for the
// settings file, "###0.00" for status lines). The settings loader, the command line and the
// window's text boxes all use these, so they agree on what a number is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnook {

// "," when the current C locale (LC_NUMERIC) writes 1.1 as "1,1", "." otherwise.
char FindDecimalSeparator();

// Every "," and every "." becomes the decimal separator.
std::string NormalizeDecimal(std::string_view text, char decimalSeparator);

// The value when the whole text (blanks around it allowed) is a decimal number written with
// `decimalSeparator` and no grouping; empty otherwise.
std::optional<double> ParseLocaleNumber(std::string_view text, char decimalSeparator);

// General decimal form: at most 15 significant digits, no grouping, no trailing zeros, no
// separator for whole numbers (64.82 -> "64.82" or "64,82"; 30 -> "30"); exponent form
// ("1e+20") for magnitudes from 1e15 and below 1e-4, which ParseLocaleNumber reads back.
std::string FormatGeneral(double value, char decimalSeparator);

// "###0.00": rounded to the nearest hundredth (halves to even), at least one digit before the
// separator ("12.35", "-0.50", "1234.50").
std::string FormatFixed2(double value, char decimalSeparator);

}  // namespace varnook
