// The Host of the windows: log lines and the caption go to the progress window, error boxes are
// Qt message boxes. It may be called from any thread: on the windows' own thread it acts at once
// (and yielding runs Qt's pending events, as a batch on a display needs), from a run's thread it
// hands each call to the windows' thread in order and never yields, for that thread has no
// events of its own.
#pragma once

#include "base/host.h"
#include "cli/console_host.h"

#include <functional>
#include <memory>
#include <optional>

#include "ui/loudness_picture.h"

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
    // From a run's thread: waits until the box is dismissed, or the windows are closed.
    void ErrorBox(const std::string& text) override;
    // Of the progress window; Normal when asked from a run's thread.
    WindowState ProgressWindowState() const override;
    // Shows the picture in the progress window's strip, and writes it as a PNG once complete
    // when /plot asked for one.
    bool TrimMeasured(const TrimPicture& picture) override;
    void ShowProgress(size_t finished, size_t total) override;

    // The progress window, created (not shown) when it does not exist yet. The windows' thread
    // only: a run's thread finds it made before the run began.
    frmProgress& Progress();

    // In batch mode every log line is also written to standard output as it is logged, as the
    // console host writes it.
    void SetEchoToStandardOutput(bool echo)
    {
        if (echo) echo_.emplace();
        else echo_.reset();
    }

private:
    // Runs `call` on the windows' thread: at once there, else queued after the calls before it.
    void RunOnWindowsThread(std::function<void()> call);

    std::unique_ptr<frmProgress> progress_;
    std::optional<ConsoleHost> echo_;
    StripPace stripPace_;
};

// True on the thread the windows live on.
bool OnWindowsThread();

}  // namespace varnook::ui
