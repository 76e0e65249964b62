// The guarded stretches of the editing steps: a file error is expected (a full disk, a file
// that went away) and ends the step with its status line; anything else shows the error box
// and goes on to the caller.
#pragma once

#include <string_view>

#include "control/host.h"
#include "io/errors.h"

namespace varnook {

// Runs `action`; true when it completed, false after logging a file error as "<number>: <text>".
template <typename Action>
bool Guarded(Host& host, std::string_view procedure, Action&& action)
{
    try {
        action();
        return true;
    } catch (const FileError& e) {
        host.LogLine(e.LogText());
        return false;
    } catch (...) {
        ShowErrorBoxAndRethrow(host, procedure);
    }
}

}  // namespace varnook
