// Runs a program the way a user would, from a test: an argument vector (never a shell, so paths
// and texts with blanks or quotes arrive unchanged), a chosen environment, standard output and
// standard error captured.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace varnook::test {

struct CapturedRun {
    int exitCode = -1;                 // 128 + signal number for a killed program
    std::string out;                   // standard output
    std::string err;                   // standard error
    std::vector<std::string> Lines() const;  // standard output split at "\n"
};

// A program started by StartCaptured and not yet waited for.
struct RunningProgram {
    pid_t pid_;
    std::string outPath_;
    std::string errPath_;
    pid_t Pid() const { return pid_; }
    // Waits for the end and collects the output.
    CapturedRun Finish();
};

// Starts `program` as RunCaptured does but returns at once, so a test can signal it while it
// runs. Its output goes to files in `captureFolder`, which must outlive the run. It leads a
// process group of its own, so kill(-Pid()) reaches it and every child it starts.
RunningProgram StartCaptured(const std::string& captureFolder, const std::string& program,
                             const std::vector<std::string>& args,
                             const std::map<std::string, std::string>& env = {});

// Runs `program` (looked up on PATH) with `args` (without the program name) in the current
// environment minus DISPLAY and WAYLAND_DISPLAY (so nothing reaches for a screen), with `env`
// added or replaced. Standard input is /dev/null. Waits for the end; throws when the program
// cannot be started.
CapturedRun RunCaptured(const std::string& program, const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env = {});

}  // namespace varnook::test
