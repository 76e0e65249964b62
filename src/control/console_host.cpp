#include "control/console_host.h"

#include <cstdio>

namespace varnook {

void ConsoleHost::LogLine(const std::string& line)
{
    // Flushed per line so that a long file shows its progress as it happens, even through a pipe.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ConsoleHost::SetCaption(const std::string& caption)
{
    caption_ = caption;
}

void ConsoleHost::ErrorBox(const std::string& text)
{
    std::fprintf(stderr, "Varnook: %s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace varnook
