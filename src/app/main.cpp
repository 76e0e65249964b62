#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "base/context.h"
#include "cli/console_host.h"
#include "cli/start_up.h"

#if VARNOOK_HAVE_GUI
#include "ui/windows.h"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnavailable = 2;
constexpr int kExitUsage = 2;

#if VARNOOK_HAVE_GUI
void RefuseWindowMode(const char* why)
{
    std::fprintf(stderr,
                 "varnook: window mode needs a display, and %s; name a file to process it in "
                 "batch mode (see --help)\n",
                 why);
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    // Numbers are read and written in the user's notation: "-1,5" in a comma locale.
    std::setlocale(LC_ALL, "");
    // The work is the point and the log is secondary: when standard output is a pipe that
    // closes (varnook ... | head -1) the files still get processed, and the log lines fail
    // quietly instead of killing the program.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    varnook::ConsoleHost host;
    varnook::Context ctx(host);
    ctx.programPath = varnook::ProgramFilePath(argc > 0 ? argv[0] : nullptr);
    const varnook::ParsedCommandLine commandLine = varnook::StartUp(ctx, args);

    if (commandLine.ShowHelp) {
        std::fputs(varnook::UsageText().c_str(), stdout);
        return kExitOk;
    }
    if (commandLine.ShowVersion) {
        std::printf("varnook %s\n", VARNOOK_VERSION);
        return kExitOk;
    }
    if (!commandLine.UsageError.empty()) {
        std::fprintf(stderr, "varnook: %s (see --help)\n", commandLine.UsageError.c_str());
        return kExitUsage;
    }
#if !VARNOOK_HAVE_GUI
    // The pictures are drawn by the Qt layer, which this build left out.
    if (!ctx.request.PlotFolder.empty()) {
        std::fputs("varnook: /plot needs a build with the windows (VARNOOK_GUI=ON)\n", stderr);
        return kExitUsage;
    }
#endif
    // Batch mode reports missing sources in its log, beside the files it did process. On a
    // display the progress window shows the log as well; closing it stops before the next file.
    if (!ctx.request.SourcePath.empty() && !commandLine.OpenInWindow) {
        // Ctrl+C or a SIGTERM ends lame, lets the file in hand clean up and skips the rest.
        // Taken before any window thread exists, so that every thread leaves them to the batch.
        ctx.stop->TakeTerminationSignals();
#if VARNOOK_HAVE_GUI
        if (varnook::ui::HasDisplay()) {
            const std::optional<int> status = varnook::ui::RunWithProgressWindow(
                argc, argv, ctx, [&](varnook::Context& run, const std::function<bool()>& closed) {
                    return varnook::RunBatch(run, commandLine, closed);
                });
            if (status) return *status;
            // The display named could not be opened (a stale DISPLAY): the console will do.
        }
        if (!ctx.request.PlotFolder.empty()) {
            return varnook::ui::RunWithPlots(argc, argv, ctx, [&](varnook::Context& run) {
                return varnook::RunBatch(run, commandLine);
            });
        }
#endif
        return varnook::RunBatch(ctx, commandLine);
    }

    for (const std::string& missing : commandLine.MissingSources)
        std::fprintf(stderr, "varnook: no such file or folder: %s\n", missing.c_str());

    // Window mode: the main window beside the progress window, until the progress window is
    // closed. The windows need a display; say so rather than let Qt abort.
#if VARNOOK_HAVE_GUI
    if (!varnook::ui::HasDisplay()) {
        RefuseWindowMode("neither DISPLAY nor WAYLAND_DISPLAY is set");
        return kExitUnavailable;
    }
    // "Open With" from a file manager: the files land in the list, and wait for Go!.
    std::vector<std::string> openFiles;
    for (const std::string& source : commandLine.Sources) {
        if (commandLine.OpenInWindow && std::find(commandLine.MissingSources.begin(), commandLine.MissingSources.end(),
                                                  source) == commandLine.MissingSources.end())
            openFiles.push_back(source);
    }
    if (const std::optional<int> status = varnook::ui::RunWindowMode(argc, argv, ctx, openFiles)) return *status;
    RefuseWindowMode("the display named by DISPLAY or WAYLAND_DISPLAY could not be opened");
    return kExitUnavailable;
#else
    std::fprintf(stderr,
                 "varnook: this build has no windows; name a file to process (see --help)\n");
    return kExitUnavailable;
#endif
}
