// The external encoder: lame decodes MP3 sources, encodes the edited WAV and recodes MP3 to MP3.
// It is started with an argument vector, never through a shell, and only its exit code and the
// file it writes count. Depends on the Context records, io/ and the host; never on the windows.
#pragma once

#include <string>
#include <sys/types.h>

namespace varnook {

struct Context;
class Host;
class StopRequest;

// Runs lame to turn inFile into outFile. options is "--decode" or the user's Arguments; for
// anything but "--decode" the tag options of ctx.tagsV2/ctx.tagsV1 (as ctx.settings.KeepTag
// selects) come first. lame writes its work file (see WorkFileName; "mp3.tmp" for
// job 0) in outFile's folder, which is renamed to outFile on exit code 0. With a provenance in
// ctx.request, an encoded file carries it. True on success. A stop requested through ctx.stop
// ends lame early; that is a failure, and the work file is removed.
bool Encoded(Context& ctx, const std::string& options, const std::string& inFile,
             const std::string& outFile);

// Waits for the child's end and returns its exit code. The polling form yields to the host
// between polls so the windows stay responsive, and honours `stop`: once a stop is requested
// the child gets SIGTERM, then SIGKILL if it has not ended after a short grace, and its exit
// code (128 + the signal, unless it had just finished) is returned.
int WaitForProcess(pid_t processId, bool blocking, Host& host, const StopRequest* stop = nullptr);

}  // namespace varnook
