#include "support/stand_in_encoder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <stdexcept>

#include "encoder/child_process.h"

namespace varnook::test {
namespace {

constexpr const char* kRecordFile = "runs.log";
// Ends one recorded run in the log; arguments are separated by NUL bytes.
constexpr char kRunEnd = '\n';

std::string CurrentSearchPath()
{
    const char* path = std::getenv("PATH");
    return path ? path : "/usr/local/bin:/usr/bin:/bin";
}

// Single-quoted for sh; the temp folder's name never holds a quote, but be exact anyway.
std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

std::string ScriptFor(StandIn behaviour, const std::string& folder)
{
    // "last" ends up as the final argument: the temporary output the encoder must write.
    const std::string lastArgument = "for last in \"$@\"; do :; done\n";
    switch (behaviour) {
    case StandIn::FailAfterPartialOutput:
        return lastArgument + "printf 'partial mp3 frames' > \"$last\"\nexit 1\n";
    case StandIn::SucceedWithoutOutput:
        return "exit 0\n";
    case StandIn::CrashBySignal:
        return lastArgument + "printf 'partial' > \"$last\"\nkill -SEGV $$\nsleep 5\nexit 0\n";
    case StandIn::RecordThenRealLame: {
        const std::string real = RealLame();
        if (real.empty()) throw std::runtime_error("the real lame is not installed");
        return "log=" + ShellQuote(folder + "/" + kRecordFile) +
               "\nfor a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$log\"; done\n"
               "printf '\\n' >> \"$log\"\nexec " + ShellQuote(real) + " \"$@\"\n";
    }
    }
    return "exit 1\n";
}

}  // namespace

StandInEncoder::StandInEncoder(StandIn behaviour)
{
    const std::string script = dir_.File("lame");
    WriteText(script, "#!/bin/sh\n" + ScriptFor(behaviour, Folder()));
    if (::chmod(script.c_str(), 0755) != 0) throw std::runtime_error("chmod failed");
}

std::string StandInEncoder::SearchPathWithStandInFirst() const
{
    return Folder() + ":" + CurrentSearchPath();
}

std::vector<std::vector<std::string>> StandInEncoder::RecordedRuns() const
{
    std::vector<std::vector<std::string>> runs;
    const std::string log = dir_.File(kRecordFile);
    struct stat st {};
    if (::stat(log.c_str(), &st) != 0) return runs;
    std::vector<std::string> run;
    std::string arg;
    for (const char c : ReadText(log)) {
        if (c == '\0') {
            run.push_back(arg);
            arg.clear();
        } else if (c == kRunEnd && arg.empty()) {
            runs.push_back(run);
            run.clear();
        } else {
            arg += c;
        }
    }
    return runs;
}

std::string RealLame()
{
    // Stand-ins live in the test temp folders; leave those out of the search.
    const std::string path = CurrentSearchPath();
    std::string kept;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find(':', begin);
        if (end == std::string::npos) end = path.size();
        const std::string folder = path.substr(begin, end - begin);
        if (folder.find("varnook-test-") == std::string::npos) kept += (kept.empty() ? "" : ":") + folder;
        begin = end + 1;
    }
    return FindProgram("lame", "", kept);
}

}  // namespace varnook::test
