// Start-up: what happens between the program's start and the choice of batch or window mode.
// main sets the C locale from the environment before calling these, so that the decimal
// separator found here is the user's.
#pragma once

#include <string>
#include <vector>

#include "cli/command_line.h"

namespace varnook {

struct Context;

// The text printed for --help: the keys and their meaning, an example, the exit statuses and
// where the settings file lives.
std::string UsageText();

// The running program file (from /proc/self/exe, else argv[0] made absolute); it locates the
// settings file and the encoder beside the program.
std::string ProgramFilePath(const char* argv0);

// Clears the Run request, finds the locale's decimal separator, locates and loads the settings
// file (ctx.programPath must be set) and applies `args` (argv without the program name). For a
// batch it gets the places /dest, /report and /plot name ready (PrepareRunPlaces), making the
// folders they need; a place that cannot be is a usage error. Writes no file. The result tells
// which sources were named and which of them are missing.
ParsedCommandLine StartUp(Context& ctx, const std::vector<std::string>& args);

}  // namespace varnook
