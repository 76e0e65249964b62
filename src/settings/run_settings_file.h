// Loading the Run settings from the settings file, and the texts and keys they are stored under.
// The record itself is in base/run_settings.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/run_settings.h"

namespace varnook {

struct Context;

// Fills every stored field from the settings file at ctx.settings.SettingsPath (which the caller
// sets first, see SettingsFilePath), then sets the progress caption to "Varnook Progress".
// A number outside its range gets its default and a log line; a settings file that is no
// regular file or too large is not read, with an error box saying so. Never fails, never
// writes the file.
void LoadSettings(Context& ctx);

// "from -200 to 200", "above 0 up to 1", "up to 3600": what a range accepts, for messages.
std::string RangeText(const NumberRange& range, char decimalSeparator);

// Resets the three analysis parameters (PinkRef, RmsPercent, RmsDiff) and nothing else.
void SetDefaults(RunSettings& settings);

// Where the settings file lives: $VARNOOK_INI when set; else "<program folder>/<program
// name>.ini" when that file exists or its folder is writable; else
// "$XDG_CONFIG_HOME/varnook/varnook.ini" (XDG_CONFIG_HOME defaulting to ~/.config).
std::string SettingsFilePath(const std::string& programPath);

// A Jobs value as stored or typed: whole jobs from 1 to kMaxJobs, anything else 0 (as many as
// there are CPUs).
inline constexpr int kMaxJobs = 256;
int JobCount(double value);

// The key of an array element: IndexedKey(3, kWordTrimLevel) is "3Level".
std::string IndexedKey(int index, const char* word);

// "rg1" and "r128", in any letter case; empty for any other text.
std::optional<LoudnessMode> ParseLoudnessMode(std::string_view text);

// The settings-file text of a field: switches "1" and "0"; numbers in general form with the
// locale's separator ("64,82" in a comma locale), so that LoadSettings reads them back.
std::string SettingText(bool value);
std::string SettingText(double value, char decimalSeparator);
std::string SettingText(LoudnessMode mode);
// A ceiling as the settings file holds it: empty for none.
std::string SettingText(const std::optional<double>& ceiling, char decimalSeparator);

}  // namespace varnook
