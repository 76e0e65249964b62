#include "encoder/child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Frees the spawn's file actions however StartChild leaves.
class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

constexpr int kSignalExitBase = 128;

}  // namespace

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

pid_t StartChild(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // The child must never wait for the terminal. Its own messages are not ours to show: the
    // log is the program's one report, and lame's progress meter would bury it.
    SpawnActions actions;
    int rc = ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0) rc = ::posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (rc == 0) rc = ::posix_spawn_file_actions_adddup2(actions.Get(), STDOUT_FILENO, STDERR_FILENO);
    if (rc != 0) throw FileErrorFromErrno(rc);

    pid_t pid = 0;
    rc = ::posix_spawn(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ);
    if (rc != 0) throw FileErrorFromErrno(rc);
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

}  // namespace varnook
