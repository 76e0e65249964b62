#include "support/captured_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "encoder/child_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace varnook::test {
namespace {

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string key = text.substr(0, text.find('='));
        if (key == "DISPLAY" || key == "WAYLAND_DISPLAY" || overrides.count(key) > 0) continue;
        env.push_back(text);
    }
    for (const auto& [key, value] : overrides) env.push_back(key + "=" + value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

std::vector<std::string> CapturedRun::Lines() const
{
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < out.size()) {
        size_t end = out.find('\n', begin);
        if (end == std::string::npos) end = out.size();
        lines.push_back(out.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

CapturedRun RunCaptured(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env)
{
    TempDir capture;
    const std::string outPath = capture.File("stdout");
    const std::string errPath = capture.File("stderr");

    std::vector<std::string> argTexts{program};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts = Environment(env);
    std::vector<char*> argv = Pointers(argTexts);
    std::vector<char*> envp = Pointers(envTexts);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));

    CapturedRun run;
    run.exitCode = ExitCodeOf(ReapChild(pid));
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

std::map<std::string, std::string> ReadId3v2Frames(const std::string& path)
{
    std::map<std::string, std::string> frames;
    CapturedRun run;
    try {
        run = RunCaptured("mid3v2", {"--list", path});
    } catch (const std::runtime_error&) {
        return frames;
    }
    // Lines read "TIT2=text"; a comment reads "COMM=description=lang=text".
    for (const std::string& line : run.Lines()) {
        const size_t eq = line.find('=');
        if (eq != 4) continue;
        std::string id = line.substr(0, eq);
        std::string text = line.substr(eq + 1);
        if (id == "COMM") {
            const size_t second = text.find('=');
            const size_t third = second == std::string::npos ? second : text.find('=', second + 1);
            if (third == std::string::npos) continue;
            text = text.substr(third + 1);
        }
        frames.emplace(std::move(id), std::move(text));
    }
    return frames;
}

}  // namespace varnook::test
