#include "ui/windows.h"

#include "base/context.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"

#include <QApplication>

#include <cstdlib>

namespace varnook::ui {

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}


}  // namespace

bool HasDisplay()
{
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

int RunWindowMode(int& argc, char** argv, Context& ctx)
{
    QApplication app(argc, argv);
    QtHost host;
    const ReportingThrough reporting(ctx.host, host);
    ctx.request.DestPath.clear();
    host.SetCaption(kIdleCaption);
    const std::unique_ptr<frmGUI> gui = OpenWindows(host, ctx);
    return app.exec();
}

std::unique_ptr<frmGUI> OpenWindows(QtHost& host, Context& ctx)
{
    frmProgress& progress = host.Progress();
    progress.show();
    // The main window is a child window of the progress window, and Qt closes child windows
    // with their parent: closing the progress window closes every window. A run in progress
    // sees its Interrupted flag at the next file boundary; the program ends once it has returned.
    auto gui = std::make_unique<frmGUI>(ctx, progress);
    gui->show();
    return gui;
}

int RunWithProgressWindow(int& argc, char** argv, Context& ctx, const BatchWithWindow& batch)
{
    QApplication app(argc, argv);
    QtHost host;
    host.SetEchoToStandardOutput(true);
    const ReportingThrough reporting(ctx.host, host);
    host.SetCaption(kIdleCaption);
    frmProgress& progress = host.Progress();
    progress.show();
    const int status = batch(ctx, [&progress] { return progress.Closed(); });
    progress.close();
    return status;
}

}  // namespace varnook::ui
