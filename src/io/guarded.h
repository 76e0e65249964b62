// The one guard around a step's stretch of file work: a file error is expected (a full disk, a
// file that went away) and ends the stretch with its status line; anything else shows the error
// box naming the procedure and goes on to the caller.
#pragma once

#include <string_view>

#include "base/host.h"
#include "io/errors.h"

namespace varnook {

// Runs `action`; true when it completed, false after logging a file error as "<number>: <text>",
// preceded by `failureIntro` when that is not empty.
template <typename Action>
bool Guarded(Host& host, std::string_view procedure, Action&& action, std::string_view failureIntro = {})
{
    try {
        action();
        return true;
    } catch (const FileError& e) {
        if (!failureIntro.empty()) host.LogLine(std::string(failureIntro));
        host.LogLine(e.LogText());
        return false;
    } catch (...) {
        ShowErrorBoxAndRethrow(host, procedure);
    }
}

// What the analysis and the encoder log before a file error's line.
inline constexpr std::string_view kInterruptedIntro = "Processing interrupted. Error message:";

}  // namespace varnook
