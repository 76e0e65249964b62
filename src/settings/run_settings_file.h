// Loading the Run settings from the settings file, and the texts and keys they are stored under.
// The record itself is in base/run_settings.h.
#pragma once

#include <string>

#include "base/run_settings.h"

namespace varnook {

struct Context;

// Fills every stored field from the settings file at ctx.settings.SettingsPath (which the caller
// sets first, see SettingsFilePath), then sets the progress caption to "Varnook Progress".
// Never fails, never reports, never writes the file.
void LoadSettings(Context& ctx);

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

// The settings-file text of a field: switches "1" and "0"; numbers in general form with the
// locale's separator ("64,82" in a comma locale), so that LoadSettings reads them back.
std::string SettingText(bool value);
std::string SettingText(double value, char decimalSeparator);

}  // namespace varnook
