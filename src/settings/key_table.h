// The keys Varnook can be told, one row per value: its command-line key, its settings-file key,
// the field it sets, its kind and range, its default and one line of help. The command line, the
// settings loader, --help, the window's checks and the tests of the manual page all read this
// table, so a key added later is one row here plus its field.
// Part of the settings step: it knows the Run settings and the Run request (base/) and the number
// texts (io/), nothing of the command line or the windows, which read it from above.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "base/run_request.h"
#include "base/run_settings.h"

namespace varnook {

enum class KeyKind {
    Switch,  // "1" on, "0" off
    Number,  // a number within the row's range
    Text,    // anything, taken as it stands (encoder arguments, a path)
    Choice,  // one of the row's names, in any letter case
};

// What a number may hold. A value outside it is a usage error on the command line, gives way to
// the default in the settings file, and is refused by the window's box.
struct NumberRange {
    double Low;
    double High;
    bool LowIncluded = true;  // false: Low itself is outside, only values above it are in

    constexpr bool Contains(double value) const
    {
        return (LowIncluded ? value >= Low : value > Low) && value <= High;
    }
};

// The usage text lists the command-line keys in these groups, in this order. The window's
// Default button resets the Analysis group.
enum class KeyGroup { Steps, Amplify, Trim, Analysis, Loudness, Output, Library, Tags };

// Where a row's value lives. Counts (Jobs, the codec settings) are whole; the true-peak ceiling
// may be none; a choice is an enum whose values count the row's names in order.
using KeyField = std::variant<bool*, double*, int*, std::optional<double>*, std::string*, LoudnessMode*, PeakMode*,
                              AlbumMode*, OutputFormat*>;

struct KeyRow {
    std::string_view CommandKey;   // lower case, after the "/"; empty: not on the command line
    std::string_view SettingsKey;  // as stored; empty: never stored (the paths of a run)
    KeyField (*Field)(RunSettings&, RunRequest&);
    KeyKind Kind;
    KeyGroup Group;
    // What a missing or unusable settings value gives, in the settings file's own words with "."
    // as the separator. Empty for a number: none (no ceiling).
    std::string_view Default;
    std::string_view Help;                // one line, for --help
    std::string_view Placeholder = {};    // the value in --help ("DB", "PATH"): numbers and texts
    NumberRange Range = {0, 0};           // numbers
    std::span<const std::string_view> Choices = {};  // choices, in the order of their enum
    bool Unquoted = false;                // double quotes are dropped from the value (/dest)
    // False for a value that never changes an output's bytes (a path, the jobs, /skip). Every
    // other row is part of the settings hash an output's provenance holds, so a row added later
    // makes outputs due again unless it says otherwise here.
    bool ShapesOutput = true;
};

// Every row: the command-line keys in the order of their usage groups, then the keys only the
// settings file holds. No command-line key is a prefix of another (checked where the table is
// made), so a key argument matches at most one row.
std::span<const KeyRow> KeyTable();

// The row whose field is `field`, a field of `settings` or `request`; null when none is.
const KeyRow* RowOfField(RunSettings& settings, RunRequest& request, const void* field);

// How numbers may be written: the command line and the settings file take "," and "." alike;
// the window takes the locale's own notation only.
enum class Notation { Locale, Either };

enum class ValueFit {
    Taken,
    NotAValue,   // no number, no switch value, no name of the choice
    OutOfRange,  // a number outside the row's range
};

// Sets the row's field from `text` when the row takes it, else leaves the field as it was.
// A number is the whole text, blanks around it allowed; an empty text sets a number whose
// default is empty to none. A count is made whole by dropping its fraction (a Jobs count below 1
// is 0: one per CPU).
ValueFit SetValue(const KeyRow& row, std::string_view text, char decimalSeparator, Notation notation,
                  RunSettings& settings, RunRequest& request);

// How `text` would fare with SetValue, setting nothing: what the window checks as it is typed.
ValueFit CheckValue(const KeyRow& row, std::string_view text, char decimalSeparator, Notation notation);

// The field's value as the settings file holds it and the window shows it: switches "1" and
// "0", numbers in general form with the locale's separator ("64,82"), a choice by its name.
std::string FieldText(const KeyRow& row, char decimalSeparator, RunSettings& settings, RunRequest& request);

// What the row takes, for messages: "0 or 1", "a number from -200 to 200", "rg1 or r128".
std::string TakesText(const KeyRow& row, char decimalSeparator);

// The names of a choice, `between` each two: ChoiceNames(row, "|") is "rg1|r128".
std::string ChoiceNames(const KeyRow& row, std::string_view between);

// "from -200 to 200", "above 0 up to 1", "up to 3600": what a range accepts.
std::string RangeText(const NumberRange& range, char decimalSeparator);

}  // namespace varnook
