// The external encoder: lame, started with an argument vector, never through a shell.
#pragma once

#include <string>
#include <sys/types.h>

namespace varnook {

struct Context;
class Host;

// Runs lame to turn inFile into outFile. options is "--decode" or the user's Arguments; for
// anything but "--decode" the tag options of ctx.tagsV2/ctx.tagsV1 (as ctx.settings.KeepTag
// selects) come first. lame writes "mp3.tmp" in outFile's folder, which is renamed to outFile on
// exit code 0. True on success.
bool Encoded(Context& ctx, const std::string& options, const std::string& inFile,
             const std::string& outFile);

// Waits for the child's end and returns its exit code. The polling form yields to the host
// between polls so the windows stay responsive.
int WaitForProcess(pid_t processId, bool blocking, Host& host);

}  // namespace varnook
