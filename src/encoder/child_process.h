// Child programs for the encoder step: found by name, started with an argument vector (never a
// shell, so no text is ever re-split or interpreted), waited for (ended early on a stop request)
// and reaped. The exit code and the files the child writes count; of its messages only the last
// error line is kept, for the log.
// Depends on io/, the host and the stop request only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace varnook {

class Host;
class StopRequest;

// How a child ended. "Could not start" is not among them: StartChild throws for that.
struct ChildExit {
    enum class Kind {
        Exited,    // ended by itself; Code is its exit code
        Signaled,  // killed by a signal; Code is the signal number
        Gone,      // no longer ours to wait for (already reaped elsewhere)
    };
    Kind kind = Kind::Gone;
    int Code = 0;
};

// The exit code a caller acts on: the child's own code, 128 + the signal number for a killed
// child (as shells report it, so it is never 0), and 0 for a child that is gone.
int ExitCodeOf(const ChildExit& exit);

// The file to run for `name`: the folder of `programPath` (the running varnook) first, then the
// folders of `searchPath` (a PATH text; an empty entry is the current folder). Only executable
// regular files count. Empty when there is none.
std::string FindProgram(const std::string& name, const std::string& programPath,
                        const std::string& searchPath);

// The last line a child wrote to its standard error, for the log when the child fails: lame
// says there why it refused its arguments. The pipe is read without blocking as the child runs,
// so a child that writes a lot (lame's progress meter) never stalls on a full pipe; only the
// line being written and the last whole one are kept.
class ChildErrorLine {
public:
    // Throws FileError when no pipe can be made.
    ChildErrorLine();
    ~ChildErrorLine();
    ChildErrorLine(const ChildErrorLine&) = delete;
    ChildErrorLine& operator=(const ChildErrorLine&) = delete;

    // The end the child writes to; StartChild makes it the child's standard error and closes
    // it here, so that only the child holds it.
    int TakeWriteEnd();
    // Reads what the child has written so far. Never blocks.
    void Drain();
    // The last line that was not blank; CR ends a line as LF does (the progress meter
    // rewrites its line with CR).
    std::string Last() const;

private:
    void Add(char c);

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::string current_;
    std::string last_;
};

// Starts `program` with `args` (args[0] is the name the child sees), reading from and writing
// to /dev/null, with no signals blocked and SIGPIPE at its default, in this process's environment
// with `setEnv` ("NAME=value" entries) put in place of the variables they name. With `errors`
// given, the child's standard error goes to it instead. The child is killed when this process
// dies, so it never works on after a crash. Throws FileError when the program cannot be started
// (53 for a missing file, 70 for one we may not run).
pid_t StartChild(const std::string& program, const std::vector<std::string>& args,
                 ChildErrorLine* errors = nullptr, const std::vector<std::string>& setEnv = {});

// The child's end if it has ended, nothing while it runs. Never blocks.
std::optional<ChildExit> TryReapChild(pid_t pid);

// Blocks until the child ends. Throws ProgramError when pid is not a child of ours.
ChildExit ReapChild(pid_t pid);

// Waits for the child's end and returns its exit code. The polling form yields to the host
// between polls so the windows stay responsive, and honours `stop`: once a stop is requested
// the child gets SIGTERM, then SIGKILL if it has not ended after a short grace, and its exit
// code (128 + the signal, unless it had just finished) is returned. With `errors` given the
// child's error pipe is drained while it runs (then even the blocking form polls).
int WaitForProcess(pid_t processId, bool blocking, Host& host, const StopRequest* stop = nullptr,
                   ChildErrorLine* errors = nullptr);

}  // namespace varnook
