#include "ui/qt_host.h"

#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace varnook::ui {

namespace {

constexpr qint64 kStripRefreshMs = 100;

}  // namespace

QtHost::QtHost() = default;
QtHost::~QtHost() = default;

frmProgress& QtHost::Progress()
{
    if (!progress_) progress_ = std::make_unique<frmProgress>();
    return *progress_;
}

void QtHost::LogLine(const std::string& line)
{
    Progress().LogLine(QString::fromStdString(line));
    if (echo_) echo_->LogLine(line);
}

void QtHost::SetCaption(const std::string& caption)
{
    Progress().setWindowTitle(QString::fromStdString(caption));
}

void QtHost::Yield()
{
    QCoreApplication::processEvents();
}

void QtHost::ErrorBox(const std::string& text)
{
    QWidget* parent = progress_ && progress_->isVisible() ? progress_.get() : nullptr;
    // The box texts join their lines with CR LF; Qt would draw the CR as a glyph of its own.
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    QMessageBox box(QMessageBox::Warning, "Varnook", shown, QMessageBox::Ok, parent);
    box.exec();
}

void QtHost::ShowProgress(size_t finished, size_t total)
{
    Progress().ShowProgress(finished, total);
}

WindowState QtHost::ProgressWindowState() const
{
    if (!progress_) return WindowState::Normal;
    if (progress_->isMinimized()) return WindowState::Minimized;
    if (progress_->isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

bool QtHost::TrimMeasured(const TrimPicture& picture)
{
    // The strip keeps a copy, which costs the picture's length; of a long file it grows by many
    // updates, and a few a second are all the eye can follow.
    if (picture.Complete || !stripShown_.isValid() || stripShown_.elapsed() >= kStripRefreshMs) {
        Progress().picLoudness->Show(picture);
        stripShown_.restart();
    }
    if (picture.Complete) WritePlotFile(picture, *this);
    return true;
}

}  // namespace varnook::ui
