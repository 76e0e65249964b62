#include "ui/qt_host.h"

#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include <chrono>
#include <future>

namespace varnook::ui {

namespace {

// How often a run's thread waiting for an error box looks whether the windows were closed.
constexpr std::chrono::milliseconds kBoxWaitPoll{50};

}  // namespace

bool OnWindowsThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

QtHost::QtHost() = default;
QtHost::~QtHost() = default;

frmProgress& QtHost::Progress()
{
    if (!progress_) progress_ = std::make_unique<frmProgress>();
    return *progress_;
}

void QtHost::RunOnWindowsThread(std::function<void()> call)
{
    if (OnWindowsThread()) {
        call();
        return;
    }
    // Queued calls from one thread arrive in the order they were made; a call still queued
    // when the window goes is dropped with it.
    QMetaObject::invokeMethod(progress_.get(), std::move(call), Qt::QueuedConnection);
}

void QtHost::LogLine(const std::string& line)
{
    RunOnWindowsThread([this, line] { Progress().LogLine(QString::fromStdString(line)); });
    if (echo_) echo_->LogLine(line);
}

void QtHost::SetCaption(const std::string& caption)
{
    RunOnWindowsThread([this, caption] { Progress().setWindowTitle(QString::fromStdString(caption)); });
}

void QtHost::Yield()
{
    // A run's thread has no events; the windows' thread runs its own loop meanwhile.
    if (OnWindowsThread()) QCoreApplication::processEvents();
}

void QtHost::ErrorBox(const std::string& text)
{
    const auto show = [this, text] {
        QWidget* parent = progress_ && progress_->isVisible() ? progress_.get() : nullptr;
        // The box texts join their lines with CR LF; Qt would draw the CR as a glyph of its own.
        QString shown = QString::fromStdString(text);
        shown.replace("\r\n", "\n");
        QMessageBox box(QMessageBox::Warning, "Varnook", shown, QMessageBox::Ok, parent);
        box.exec();
    };
    if (OnWindowsThread()) {
        show();
        return;
    }
    // The promise goes with the queued call: dropped unshown, it breaks, which ends the wait too.
    auto shown = std::make_shared<std::promise<void>>();
    std::future<void> dismissed = shown->get_future();
    RunOnWindowsThread([show, shown] {
        show();
        shown->set_value();
    });
    shown.reset();
    while (dismissed.wait_for(kBoxWaitPoll) != std::future_status::ready) {
        if (progress_->Closed()) return;
    }
}

void QtHost::ShowProgress(size_t finished, size_t total)
{
    RunOnWindowsThread([this, finished, total] { Progress().ShowProgress(finished, total); });
}

WindowState QtHost::ProgressWindowState() const
{
    if (!progress_ || !OnWindowsThread()) return WindowState::Normal;
    if (progress_->isMinimized()) return WindowState::Minimized;
    if (progress_->isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

bool QtHost::TrimMeasured(const TrimPicture& picture)
{
    if (stripPace_.Due(picture)) RunOnWindowsThread([this, picture] { Progress().ShowPicture(0, picture); });
    if (picture.Complete) WritePlotFile(picture, *this);
    return true;
}

}  // namespace varnook::ui
