#include "cli/console_host.h"

#include <cstdio>

#include "cli/terminal_text.h"

namespace varnook {

void ConsoleHost::LogLine(const std::string& line)
{
    // A reader that went away (varnook ... | head -1) leaves the log nowhere to go; the files
    // are the point, so they go on without it (SIGPIPE is ignored, see main).
    if (outputClosed_) return;
    // Flushed per line so that a long file shows its progress as it happens, even through a pipe.
    const auto write = [](const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); };
    if (terminal_) {
        write(TerminalSafe(line));
    } else {
        write(line);
    }
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0) outputClosed_ = true;
}

void ConsoleHost::SetCaption(const std::string& caption)
{
    caption_ = caption;
}

void ConsoleHost::ErrorBox(const std::string& text)
{
    std::fprintf(stderr, "Varnook: %s\n", (IsTerminal(stderr) ? TerminalSafe(text) : text).c_str());
    std::fflush(stderr);
}

}  // namespace varnook
