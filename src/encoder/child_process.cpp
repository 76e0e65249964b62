#include "encoder/child_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string_view>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <utility>

#include "base/host.h"
#include "base/stop_request.h"
#include "io/errors.h"

extern char** environ;

namespace varnook {
namespace {

bool IsExecutableFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

ChildExit FromWaitStatus(int status)
{
    if (WIFSIGNALED(status)) return {ChildExit::Kind::Signaled, WTERMSIG(status)};
    return {ChildExit::Kind::Exited, WEXITSTATUS(status)};
}

// The exit code of a child whose exec failed; the parent never reports it, it reads the error.
constexpr int kChildStartFailed = 127;

// Opens /dev/null as `target`. Only system calls: it runs between fork and exec.
bool RedirectToNull(int target, int flags)
{
    const int fd = ::open("/dev/null", flags);
    if (fd < 0) return false;
    if (fd == target) return true;
    const bool moved = ::dup2(fd, target) == target;
    ::close(fd);
    return moved;
}

// The child's side of StartChild, between fork and exec. `errors` is the descriptor for its
// standard error, or -1 for /dev/null.
[[noreturn]] void RunChild(const char* program, char* const* argv, char* const* envp, int report, pid_t parent,
                           int errors)
{
    // lame must not outlive a varnook that is killed: it would go on writing "mp3.tmp" under
    // the next run's lame. If the parent is already gone, the signal would never come.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(kChildStartFailed);
    // Batch mode blocks SIGINT and SIGTERM to collect them as a stop request; the child must
    // not inherit that, or it could only be stopped by SIGKILL.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
    // Varnook ignores SIGPIPE (its log may go to a pipe that closes); an ignored signal would
    // outlive the exec, and the child is owed the usual disposition.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &defaultAction, nullptr);
    // The child must never wait for the terminal. Its own messages are not ours to show: the
    // log is the program's one report, and lame's progress meter would bury it; only the error
    // pipe, when given, hears them.
    int error = 0;
    const bool errorsMoved = errors < 0 ? RedirectToNull(STDERR_FILENO, O_WRONLY)
                                        : ::dup2(errors, STDERR_FILENO) == STDERR_FILENO;
    if (RedirectToNull(STDIN_FILENO, O_RDONLY) && RedirectToNull(STDOUT_FILENO, O_WRONLY) && errorsMoved) {
        ::execve(program, argv, envp);
    }
    error = errno;
    ssize_t ignored = ::write(report, &error, sizeof error);
    (void)ignored;
    ::_exit(kChildStartFailed);
}

constexpr int kSignalExitBase = 128;
constexpr size_t kErrorReadBytes = 4096;
// Longer lines are cut: the log wants the reason, not a dump.
constexpr size_t kMaxErrorLineChars = 500;
// Long enough to leave the core idle while the child works, short enough that the windows feel live.
constexpr std::chrono::milliseconds kPollInterval{5};
// How long a child may take to leave after SIGTERM before it is killed outright.
constexpr std::chrono::seconds kTerminateGrace{2};

// Ends a child that was asked to stop, and returns how it ended.
ChildExit Terminate(pid_t child)
{
    ::kill(child, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const std::optional<ChildExit> exit = TryReapChild(child)) return *exit;
        std::this_thread::sleep_for(kPollInterval);
    }
    ::kill(child, SIGKILL);
    return ReapChild(child);
}

}  // namespace

ChildErrorLine::ChildErrorLine()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) ThrowFileErrorFromErrno();
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    ::fcntl(readEnd_, F_SETFL, O_NONBLOCK);
}

ChildErrorLine::~ChildErrorLine()
{
    ::close(readEnd_);
    if (writeEnd_ >= 0) ::close(writeEnd_);
}

int ChildErrorLine::TakeWriteEnd()
{
    return std::exchange(writeEnd_, -1);
}

void ChildErrorLine::Drain()
{
    char buffer[kErrorReadBytes];
    for (;;) {
        const ssize_t n = ::read(readEnd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) Add(buffer[i]);
    }
}

void ChildErrorLine::Add(char c)
{
    if (c != '\n' && c != '\r') {
        if (current_.size() < kMaxErrorLineChars) current_ += c;
        return;
    }
    if (current_.find_first_not_of(" \t") != std::string::npos) last_ = current_;
    current_.clear();
}

std::string ChildErrorLine::Last() const
{
    return current_.find_first_not_of(" \t") != std::string::npos ? current_ : last_;
}

int ExitCodeOf(const ChildExit& exit)
{
    switch (exit.kind) {
    case ChildExit::Kind::Exited: return exit.Code;
    case ChildExit::Kind::Signaled: return kSignalExitBase + exit.Code;
    case ChildExit::Kind::Gone: return 0;
    }
    return 0;
}

std::string FindProgram(const std::string& name, const std::string& programPath,
                        const std::string& searchPath)
{
    const size_t slash = programPath.rfind('/');
    if (slash != std::string::npos) {
        const std::string beside = programPath.substr(0, slash + 1) + name;
        if (IsExecutableFile(beside)) return beside;
    }
    size_t begin = 0;
    while (begin <= searchPath.size()) {
        size_t end = searchPath.find(':', begin);
        if (end == std::string::npos) end = searchPath.size();
        const std::string folder = searchPath.substr(begin, end - begin);
        const std::string candidate = folder.empty() ? name : folder + "/" + name;
        if (IsExecutableFile(candidate)) return folder.empty() ? "./" + name : candidate;
        begin = end + 1;
    }
    return {};
}

pid_t StartChild(const std::string& program, const std::vector<std::string>& args, ChildErrorLine* errors,
                 const std::vector<std::string>& setEnv)
{
    // Everything the child needs is made before the fork: between fork and exec only
    // async-signal-safe calls are allowed, since the windows' process has other threads.
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view current(*entry);
        const bool replaced = std::any_of(setEnv.begin(), setEnv.end(), [&](const std::string& set) {
            const size_t nameEnd = set.find('=');
            return current.substr(0, nameEnd + 1) == std::string_view(set).substr(0, nameEnd + 1);
        });
        if (!replaced) envp.push_back(*entry);
    }
    for (const std::string& set : setEnv) envp.push_back(const_cast<char*>(set.c_str()));
    envp.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful exec closes it unseen.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) ThrowFileErrorFromErrno();
    // Taken now, so that only the child keeps the write end: the pipe then ends with the child.
    const int errorEnd = errors ? errors->TakeWriteEnd() : -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        if (errorEnd >= 0) ::close(errorEnd);
        throw FileErrorFromErrno(error);
    }
    if (pid == 0) RunChild(program.c_str(), argv.data(), envp.data(), report[1], parent, errorEnd);

    if (errorEnd >= 0) ::close(errorEnd);
    ::close(report[1]);
    int childError = 0;
    ssize_t n = 0;
    do {
        n = ::read(report[0], &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof childError)) {
        ReapChild(pid);
        throw FileErrorFromErrno(childError);
    }
    return pid;
}

std::optional<ChildExit> TryReapChild(pid_t pid)
{
    int status = 0;
    pid_t rc = 0;
    do {
        rc = ::waitpid(pid, &status, WNOHANG);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) return std::nullopt;
    if (rc < 0) return ChildExit{ChildExit::Kind::Gone, 0};
    return FromWaitStatus(status);
}

ChildExit ReapChild(pid_t pid)
{
    int status = 0;
    pid_t rc = 0;
    do {
        rc = ::waitpid(pid, &status, 0);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        throw ProgramError(program_errors::kInvalidArgument,
                           "Process " + std::to_string(pid) + " is not a child of this program");
    }
    return FromWaitStatus(status);
}

int WaitForProcess(pid_t processId, bool blocking, Host& host, const StopRequest* stop, ChildErrorLine* errors)
{
    if (blocking && errors == nullptr) return ExitCodeOf(ReapChild(processId));
    const auto ended = [errors](const ChildExit& exit) {
        if (errors) errors->Drain();  // what the child wrote last is still in the pipe
        return ExitCodeOf(exit);
    };
    for (;;) {
        if (errors) errors->Drain();
        if (const std::optional<ChildExit> exit = TryReapChild(processId)) return ended(*exit);
        // A child that finishes just as the stop comes keeps its exit code 0 and its output.
        if (stop != nullptr && stop->Requested()) return ended(Terminate(processId));
        if (!blocking) host.Yield();
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace varnook
