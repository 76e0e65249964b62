// Loading the Run settings from the settings file, by the rows of the key table
// (settings/key_table.h). The record itself is in base/run_settings.h.
#pragma once

#include <string>

#include "base/run_settings.h"

namespace varnook {

struct Context;

// Fills every stored field from the settings file at ctx.settings.SettingsPath (which the caller
// sets first, see SettingsFilePath), then sets the progress caption to "Varnook Progress".
// A switch is on only for "1"; a missing key gives the row's default. A number outside its range
// gets its default and a log line; a settings file that is no regular file or too large is not
// read, with an error box saying so. Never fails, never writes the file.
void LoadSettings(Context& ctx);

// Resets the analysis parameters (PinkRef, RmsPercent, RmsDiff) to their defaults and nothing
// else.
void SetDefaults(RunSettings& settings);

// Where the settings file lives: $VARNOOK_INI when set; else "<program folder>/<program
// name>.ini" for a program in its build folder, which CMake marks with a file named
// "varnook-build-folder" beside the program it builds; else, for any installed program,
// "$XDG_CONFIG_HOME/varnook/varnook.ini" (XDG_CONFIG_HOME defaulting to ~/.config).
std::string SettingsFilePath(const std::string& programPath);

}  // namespace varnook
