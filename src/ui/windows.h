// The windows of Varnook: the progress window with its log, and in window mode the main window
// with the options and the file list. This is the only part of the program that uses Qt; the
// core knows it only as a Host. Nothing in here may be needed by the core, and nothing here
// decides how a file is processed.
#pragma once

#include <functional>
#include <memory>

namespace varnook {
class Host;
struct Context;
}  // namespace varnook

namespace varnook::ui {

class frmGUI;
class QtHost;

// True when an X11 or Wayland display is named in the environment.
bool HasDisplay();

// Window mode: shows the progress window and the main window beside it, both showing the
// records start-up left in `started` (settings as loaded, with the command line applied), and
// runs until the progress window is closed. Returns the exit status. Needs a display.
int RunWindowMode(int& argc, char** argv, Context& ctx);

// Shows the progress window and the main window beside it, owned by it, for ctx (whose host is
// `host`), wired so that closing the progress window closes the main window too: a run in
// progress then stops at the next file boundary, and Qt's event loop ends with the last window.
std::unique_ptr<frmGUI> OpenWindows(QtHost& host, Context& ctx);

// Batch mode on a display: shows the progress window, hands `batch` a context with the records
// of `started` that reports through it, and closes the window when `batch` returns. Its log
// lines also go to standard output, one per line; `closed()` turns true once the user has closed
// the window, and a batch of several files should then stop before the next one. The records
// are copied back to `started` at the end. Returns what `batch` returns.
using BatchWithWindow = std::function<int(Context& ctx, const std::function<bool()>& closed)>;
int RunWithProgressWindow(int& argc, char** argv, Context& ctx, const BatchWithWindow& batch);

}  // namespace varnook::ui
