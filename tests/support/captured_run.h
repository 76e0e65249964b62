// Runs a program the way a user would, from a test: an argument vector, a chosen environment,
// standard output and standard error captured.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace varnook::test {

struct CapturedRun {
    int exitCode = -1;                 // 128 + signal number for a killed program
    std::string out;                   // standard output
    std::string err;                   // standard error
    std::vector<std::string> Lines() const;  // standard output split at "\n"
};

// Runs `program` with `args` (without the program name) in the current environment minus
// DISPLAY and WAYLAND_DISPLAY (so nothing reaches for a screen), with `env` added or replaced.
// Standard input is /dev/null. Waits for the end.
CapturedRun RunCaptured(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {});

// The ID3v2 frames of an MP3 file as a third-party reader (mid3v2) lists them: frame id ->
// text, the first of each id. Empty when the reader is missing or finds no tag.
std::map<std::string, std::string> ReadId3v2Frames(const std::string& path);

}  // namespace varnook::test
