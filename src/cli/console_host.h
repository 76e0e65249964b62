// The batch host without a display: log lines on standard output, error boxes on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "base/host.h"
#include "cli/terminal_text.h"

namespace varnook {

// Writes every log line to standard output as it is logged, and error boxes to standard error;
// on a terminal with their control characters shown as "?" (see TerminalSafe), elsewhere as
// they are. Once a write fails (the reader has gone) no further line is written. The caption is kept but
// not printed: the log lines already tell how far a file has got.
class ConsoleHost : public Host {
public:
    void LogLine(const std::string& line) override;
    void SetCaption(const std::string& caption) override;
    void Yield() override {}
    void ErrorBox(const std::string& text) override;
    WindowState ProgressWindowState() const override { return WindowState::Normal; }

    const std::string& Caption() const { return caption_; }

private:
    std::string caption_;
    bool outputClosed_ = false;
    bool terminal_ = IsTerminal(stdout);
};

}  // namespace varnook
