#include "support/captured_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "encoder/child_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace varnook::test {

std::vector<std::string> CapturedRun::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

CapturedRun RunningProgram::Finish() { return {ExitCodeOf(ReapChild(pid_)), ReadText(outPath_), ReadText(errPath_)}; }

RunningProgram StartCaptured(const std::string& captureFolder, const std::string& program,
                             const std::vector<std::string>& args,
                             const std::map<std::string, std::string>& env)
{
    RunningProgram running{0, captureFolder + "/stdout", captureFolder + "/stderr"};
    std::vector<std::string> argTexts{program};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry, key = text.substr(0, text.find('='));
        if (key != "DISPLAY" && key != "WAYLAND_DISPLAY" && env.count(key) == 0) envTexts.push_back(text);
    }
    for (const auto& [key, value] : env) envTexts.push_back(key + "=" + value);
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (std::string& text : texts) list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    };

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    for (const auto& [fd, path] : {std::pair{STDOUT_FILENO, &running.outPath_}, {STDERR_FILENO, &running.errPath_}})
        ::posix_spawn_file_actions_addopen(&actions, fd, path->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int rc = ::posix_spawnp(&running.pid_, program.c_str(), &actions, &attributes, pointers(argTexts).data(),
                                  pointers(envTexts).data());
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
    return running;
}

CapturedRun RunCaptured(const std::string& program, const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env)
{
    TempDir capture;
    return StartCaptured(capture.Path().string(), program, args, env).Finish();
}

}  // namespace varnook::test
