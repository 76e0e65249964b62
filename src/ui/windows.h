// The windows of Varnook: the progress window with its log, and in window mode the main window
// with the options and the file list. This is the only part of the program that uses Qt; the
// core knows it only as a Host. Nothing in here may be needed by the core, and nothing here
// decides how a file is processed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnook {
class Host;
struct Context;
}  // namespace varnook

namespace varnook::ui {

class frmGUI;
class QtHost;

// True when an X11 or Wayland display is named in the environment. Whether it can be opened
// is known only once the windows try it: see RunWindowMode and RunWithProgressWindow.
bool HasDisplay();

// Window mode: shows the progress window and the main window beside it, both showing the
// records start-up left in ctx (settings as loaded, with the command line applied), with
// `openFiles` (files and folders, as "--open" hands them over) in the main window's list, and
// runs until the windows are closed. Returns the exit status, or nothing when no display could
// be opened (a stale DISPLAY); then no window was shown.
std::optional<int> RunWindowMode(int& argc, char** argv, Context& ctx, const std::vector<std::string>& openFiles = {});

// Shows the progress window and the main window beside it, owned by it, for ctx (whose host is
// `host`), with `openFiles` in the main window's list, wired so that closing either window
// closes both: a run in progress then stops through ctx.stop in the step in hand, and Qt's event
// loop ends with the last window.
std::unique_ptr<frmGUI> OpenWindows(QtHost& host, Context& ctx, const std::vector<std::string>& openFiles = {});

// Batch mode on a display: shows the progress window, hands `batch` a context with the records
// of ctx that reports through it, and closes the window when `batch` returns. Its log lines also
// go to standard output, one per line; `closed()` turns true once the user has closed the
// window, and a batch of several files should then stop before the next one. Returns what
// `batch` returns, or nothing without calling it when no display could be opened: the batch
// then belongs on the console.
using BatchWithWindow = std::function<int(Context& ctx, const std::function<bool()>& closed)>;
std::optional<int> RunWithProgressWindow(int& argc, char** argv, Context& ctx, const BatchWithWindow& batch);

// Batch mode without a display when /plot asks for pictures: `batch` runs on a context with the
// records of ctx that reports to the console and draws the pictures offscreen (the offscreen
// platform, no display needed). Returns what `batch` returns.
int RunWithPlots(int& argc, char** argv, Context& ctx, const std::function<int(Context& ctx)>& batch);

}  // namespace varnook::ui
