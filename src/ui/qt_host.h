// The Host of the windows: log lines and the caption go to the progress window, yielding runs
// Qt's pending events, error boxes are Qt message boxes.
#pragma once

#include "base/host.h"
#include "cli/console_host.h"

#include <QElapsedTimer>

#include <memory>
#include <optional>

namespace varnook::ui {

class frmProgress;

class QtHost : public Host {
public:
    // Needs a QApplication. The progress window is created on first use, hidden.
    QtHost();
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    void LogLine(const std::string& line) override;
    void SetCaption(const std::string& caption) override;
    void Yield() override;
    void ErrorBox(const std::string& text) override;
    WindowState ProgressWindowState() const override;
    // Shows the picture in the progress window's strip, and writes it as a PNG once complete
    // when /plot asked for one.
    bool TrimMeasured(const TrimPicture& picture) override;
    void ShowProgress(size_t finished, size_t total) override;

    // The progress window, created (not shown) when it does not exist yet.
    frmProgress& Progress();

    // In batch mode every log line is also written to standard output as it is logged, as the
    // console host writes it.
    void SetEchoToStandardOutput(bool echo)
    {
        if (echo) echo_.emplace();
        else echo_.reset();
    }

private:
    std::unique_ptr<frmProgress> progress_;
    std::optional<ConsoleHost> echo_;
    QElapsedTimer stripShown_;  // since the strip last took a copy of the picture
};

}  // namespace varnook::ui
