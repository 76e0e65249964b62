// The one way the core reaches the user. Program control and every processing step report
// through a Host: the Qt windows implement it in window mode, the console (cli/console_host.h)
// in batch mode without a display, and tests record what was said. Nothing in the core may
// depend on Qt.
#pragma once

#include <cstddef>
#include <string>

#include "base/trim_picture.h"

namespace varnook {

enum class WindowState { Normal, Minimized, Maximized };

// The progress window's title while no step is running.
inline constexpr const char* kIdleCaption = "Varnook Progress";

class Host {
public:
    virtual ~Host() = default;

    // Appends a status line to the progress log (an empty text is a line too).
    virtual void LogLine(const std::string& line) = 0;
    // Sets the progress window's title: the step running, or a percentage during long loops.
    virtual void SetCaption(const std::string& caption) = 0;
    // Lets the window system handle pending events, so windows repaint and buttons react.
    virtual void Yield() = 0;
    // Shows a modal message box with an OK button, titled "Varnook", and waits for it.
    virtual void ErrorBox(const std::string& text) = 0;
    // The progress window's state, as the user left it.
    virtual WindowState ProgressWindowState() const = 0;
    // What the trim step has measured of the file in hand so far, handed over as it grows and
    // once more with Complete set. Returns true when the host draws the picture: the step then
    // also measures the windows its searches skip. The default draws nothing, which keeps the
    // step's cost what it is without a picture.
    virtual bool TrimMeasured(const TrimPicture&) { return false; }

    // How far a run over several files has got; a host without a progress bar ignores it.
    virtual void ShowProgress(size_t finished, size_t total)
    {
        static_cast<void>(finished);
        static_cast<void>(total);
    }
};

// Passes every call on to another host. A host that adds to another's work derives from it and
// overrides only what it adds, so that a call added to Host later is passed on by every such
// host without anyone remembering to.
class ForwardingHost : public Host {
public:
    explicit ForwardingHost(Host& inner) : inner_(inner) {}

    void LogLine(const std::string& line) override { inner_.LogLine(line); }
    void SetCaption(const std::string& caption) override { inner_.SetCaption(caption); }
    void Yield() override { inner_.Yield(); }
    void ErrorBox(const std::string& text) override { inner_.ErrorBox(text); }
    WindowState ProgressWindowState() const override { return inner_.ProgressWindowState(); }
    bool TrimMeasured(const TrimPicture& picture) override { return inner_.TrimMeasured(picture); }
    void ShowProgress(size_t finished, size_t total) override { inner_.ShowProgress(finished, total); }

private:
    Host& inner_;
};

// Drops everything: for benchmarks, fuzzing and tools that want a step's result, not its log.
class QuietHost : public Host {
public:
    void LogLine(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void Yield() override {}
    void ErrorBox(const std::string&) override {}
    WindowState ProgressWindowState() const override { return WindowState::Normal; }
};

}  // namespace varnook
