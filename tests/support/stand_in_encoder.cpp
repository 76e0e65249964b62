#include "support/stand_in_encoder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "encoder/child_process.h"

namespace varnook::test {
namespace {

// Single-quoted for sh; the temp folder's name never holds a quote, but be exact anyway.
std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The stand-ins that hand on to the real lame find it on the test's own PATH, which never
// holds a stand-in: those reach only the programs a test starts.
std::string RealLame()
{
    const char* path = std::getenv("PATH");
    const std::string real = FindProgram("lame", "", path ? path : "");
    if (real.empty()) throw std::runtime_error("the real lame is not installed");
    return ShellQuote(real);
}

std::string ScriptFor(StandIn behaviour, const std::string& folder)
{
    switch (behaviour) {
    case StandIn::SucceedWithoutOutput:
        return "exit 0\n";
    case StandIn::RecordThenRealLame:
        // One run per line, each argument ended by a NUL byte.
        return "log=" + ShellQuote(folder + "/runs.log") +
               "\nfor a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$log\"; done\n"
               "printf '\\n' >> \"$log\"\nexec " + RealLame() + " \"$@\"\n";
    case StandIn::Hang:
        // "last" ends up as the temporary output; exec, so that the noted process is the one
        // varnook waits for.
        return "for last in \"$@\"; do :; done\nprintf 'partial' > \"$last\"\necho $$ > " +
               ShellQuote(folder + "/hung.pid") + "\nexec sleep 30\n";
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

std::string StandInEncoder::Note(const std::string& name) const
{
    return std::filesystem::exists(dir_.File(name)) ? ReadText(dir_.File(name)) : std::string();
}

std::string StandInEncoder::SearchPathWithStandInFirst() const
{
    const char* path = std::getenv("PATH");
    return Folder() + ":" + (path ? path : "/usr/local/bin:/usr/bin:/bin");
}

std::vector<std::vector<std::string>> StandInEncoder::RecordedRuns() const
{
    std::vector<std::vector<std::string>> runs;
    std::istringstream log(Note("runs.log"));
    for (std::string line; std::getline(log, line);) {
        std::istringstream words(line);
        runs.emplace_back();
        for (std::string word; std::getline(words, word, '\0');) runs.back().push_back(word);
    }
    return runs;
}

}  // namespace varnook::test
