// Runs an outside program (lame, tag writers) from a test with an argument vector, never through
// a shell, so paths and tag texts with blanks or quotes reach it unchanged.
#pragma once

#include <string>
#include <vector>

namespace varnook::test {

// True when `name` is an executable file in one of the folders of PATH.
bool ProgramOnPath(const std::string& name);

// Starts argv[0] (looked up on PATH) with its output sent to /dev/null and waits for it.
// Returns its exit status, or -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& argv);

}  // namespace varnook::test
