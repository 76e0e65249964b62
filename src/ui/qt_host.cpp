#include "ui/qt_host.h"

#include "ui/frm_progress.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>

namespace varnook::ui {

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
    if (echo_) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
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

}  // namespace varnook::ui
