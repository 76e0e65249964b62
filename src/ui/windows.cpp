#include "ui/windows.h"

#include "base/context.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"
#include "ui/qt_host.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace varnook::ui {

namespace {

bool IsSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

constexpr const char* kPlatformVariable = "QT_QPA_PLATFORM";
constexpr const char* kFallbackPlatform = "offscreen";
// The desktop entry the windows belong to (data/varnook.desktop): Wayland compositors and docks
// take the windows' icon and name from it.
constexpr const char* kDesktopFileName = "varnook";
constexpr const char* kIconResource = ":/icons/varnook.png";

// Qt's start-up speaks on standard error of things a batch has no use for: the runtime folder
// it makes up when XDG_RUNTIME_DIR is unset (under cron, sudo or ssh), a display it could not
// reach before it fell back. A batch's standard error is its own, so while its application is
// made Qt's messages are held back (but a fatal one, which ends the program).
class QuietStartUp {
public:
    explicit QuietStartUp(bool quiet) : quiet_(quiet)
    {
        if (quiet_) previous_ = qInstallMessageHandler(Drop);
    }
    ~QuietStartUp()
    {
        if (quiet_) qInstallMessageHandler(previous_);
    }
    QuietStartUp(const QuietStartUp&) = delete;
    QuietStartUp& operator=(const QuietStartUp&) = delete;

private:
    static void Drop(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
    }

    bool quiet_;
    QtMessageHandler previous_ = nullptr;
};

// Qt ends the program (qFatal, SIGABRT) when no platform it tries can be opened: a DISPLAY or
// WAYLAND_DISPLAY left over from an ssh login or a cron job names a server that is gone. Qt has
// no call that asks first, but it takes a list of platforms and uses the first that opens. With
// "offscreen", which always opens, at the end of the list the construction never fails, and a
// QApplication that ended up offscreen when a screen was asked for says that no display could
// be opened; it is then closed again before any window exists.
class DisplayApplication {
public:
    DisplayApplication(int& argc, char** argv, bool batch)
    {
        const QuietStartUp quiet(batch);
        const char* chosen = std::getenv(kPlatformVariable);
        const std::string asked = chosen ? chosen : "";
        // Without a choice of the user's, the order Qt itself would try on Linux.
        std::string platforms = asked;
        if (platforms.empty()) platforms = IsSet("WAYLAND_DISPLAY") ? "wayland;xcb" : "xcb";
        ::setenv(kPlatformVariable, (platforms + ";" + kFallbackPlatform).c_str(), 1);
        app_.emplace(argc, argv);
        if (chosen) ::setenv(kPlatformVariable, asked.c_str(), 1);
        else ::unsetenv(kPlatformVariable);
        const bool askedOffscreen = asked.find(kFallbackPlatform) != std::string::npos;
        if (QGuiApplication::platformName() == kFallbackPlatform && !askedOffscreen) {
            app_.reset();
            return;
        }
        QGuiApplication::setDesktopFileName(kDesktopFileName);
        QApplication::setWindowIcon(QIcon(kIconResource));
    }

    bool Opened() const { return app_.has_value(); }

private:
    std::optional<QApplication> app_;
};

// Closing the progress window stops the run at once: a lame that hangs would otherwise keep
// the program alive without a window long after the user meant it to end.
void StopOnClose(frmProgress& progress, const Context& ctx)
{
    QObject::connect(&progress, &frmProgress::closing, &progress, [stop = ctx.stop] { stop->Request(); });
}

}  // namespace

bool HasDisplay()
{
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

std::optional<int> RunWindowMode(int& argc, char** argv, Context& ctx, const std::vector<std::string>& openFiles)
{
    const DisplayApplication display(argc, argv, false);
    if (!display.Opened()) return std::nullopt;
    QtHost host;
    Context windows(ctx, host);
    windows.request.DestPath.clear();
    // The report is the batch's record; a window run, one job or several, writes none.
    windows.request.ReportPath.clear();
    host.SetCaption(kIdleCaption);
    const std::unique_ptr<frmGUI> gui = OpenWindows(host, windows, openFiles);
    return QApplication::exec();
}

std::unique_ptr<frmGUI> OpenWindows(QtHost& host, Context& ctx, const std::vector<std::string>& openFiles)
{
    frmProgress& progress = host.Progress();
    StopOnClose(progress, ctx);
    // The main window is a child window of the progress window, and Qt hides child windows
    // with their parent; closing the main window closes the progress window. Either way a run
    // in progress stops in the step in hand, and the program ends once it has returned. Made
    // before either is shown, so that it sizes both before the window manager places them.
    auto gui = std::make_unique<frmGUI>(ctx, progress);
    QStringList files;
    for (const std::string& file : openFiles) files << QString::fromStdString(file);
    gui->AddSources(files);
    progress.show();
    gui->show();
    return gui;
}

std::optional<int> RunWithProgressWindow(int& argc, char** argv, Context& ctx, const BatchWithWindow& batch)
{
    const DisplayApplication display(argc, argv, true);
    if (!display.Opened()) return std::nullopt;
    QtHost host;
    host.SetEchoToStandardOutput(true);
    Context run(ctx, host);
    host.SetCaption(kIdleCaption);
    frmProgress& progress = host.Progress();
    StopOnClose(progress, run);
    progress.show();
    const int status = batch(run, [&progress] { return progress.Closed(); });
    progress.close();
    return status;
}

int RunWithPlots(int& argc, char** argv, Context& ctx, const std::function<int(Context& ctx)>& batch)
{
    // Drawing text needs a platform even into an image; the offscreen one needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QuietStartUp quiet(true);
    QGuiApplication app(argc, argv);
    PlotHost host;
    Context run(ctx, host);
    return batch(run);
}

}  // namespace varnook::ui
