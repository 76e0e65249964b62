// The file list and the run over it: drops and Delete fill and prune the list (a drop keeps what
// the format table takes as a source, each path once), Go takes every entry through the pipeline
// and marks it with its result. With one job the entries go one after the other, the log and the
// selection following the file in hand, and Interrupt stops before the next file; with several
// the batch's jobs take them, each file's lines logged as one block when it ends, and Interrupt
// ends every job.
#include "ui/frm_gui.h"

#include "library/batch.h"
#include "base/context.h"
#include "library/file_watch.h"
#include "formats/formats.h"
#include "library/walk.h"
#include "report/report_writer.h"
#include "ui/file_list_box.h"

#include <QFileInfo>
#include <QSet>
#include <QStyle>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>

namespace varnook::ui {

void frmGUI::lbxList_OLEDragDrop(const QStringList& paths)
{
    if (busy_) return;
    QSet<QString> listed;
    for (int i = 0; i < lbxList->count(); ++i) listed.insert(lbxList->item(i)->text());
    int notAudio = 0, twice = 0;
    const auto take = [&](const QString& path) {
        if (listed.contains(path)) {
            ++twice;
            return;
        }
        listed.insert(path);
        lbxList->addItem(path);
    };
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            if (TakesAsSource(path.toStdString())) {
                take(path);
            } else {
                ++notAudio;
            }
            continue;
        }
        // A folder brings its sources, as a folder on the command line does.
        const std::vector<LibrarySource> found = WalkFolder(path.toStdString(), ctx_.settings.Encode);
        if (found.empty()) ctx_.host.LogLine("No sources in " + path.toStdString());
        for (const LibrarySource& source : found) take(QString::fromStdString(source.Path));
    }
    for (const auto& [count, why] : {std::pair{notAudio, "not audio"}, {twice, "already in the list"}}) {
        if (count > 0)
            ctx_.host.LogLine(std::to_string(count) + (count == 1 ? " file" : " files") + " passed over: " + why);
    }
}

void frmGUI::lbxList_KeyUp()
{
    if (busy_) return;
    // From the last entry back, so removing one does not move those still to be visited.
    for (int i = lbxList->count() - 1; i >= 0; --i) {
        if (lbxList->item(i)->isSelected()) delete lbxList->takeItem(i);
    }
}

void frmGUI::cmdIntrpt_Click()
{
    interrupted_ = true;
}

void frmGUI::SetControlsEnabled(bool enabled)
{
    for (QWidget* control : controls_) control->setEnabled(enabled);
    // Trim stays unavailable while Analyze is off, as the Analyze handler left it.
    if (enabled) chkTrim->setEnabled(chkAnalyze->isChecked());
}

void frmGUI::cmdGo_Click()
{
    Frame1->hide();
    busy_ = true;
    interrupted_ = false;
    SetControlsEnabled(false);
    cmdIntrpt->setEnabled(true);
    lbxList->clearSelection();

    // Drops and Delete are refused while busy, so the count cannot change during the run.
    const int count = lbxList->count();
    for (int i = 0; i < count; ++i) {
        lbxList->item(i)->setIcon(QIcon());
        lbxList->item(i)->setToolTip({});
        lbxList->item(i)->setData(Qt::UserRole, QVariant());
    }
    if (JobsFor(ctx_.settings.Jobs, static_cast<size_t>(count)) > 1) {
        RunJobs(count);
    } else {
        RunInTurn(count);
    }

    SetControlsEnabled(true);
    busy_ = false;
}

void frmGUI::RunJobs(int count)
{
    std::vector<BatchItem> items;
    for (int i = 0; i < count; ++i) items.push_back({lbxList->item(i)->text().toStdString(), "", false});
    // The run's own thread pumps the window's events while the jobs work, and hears of each
    // file there, so the marks are set where Qt allows it. No summary line: the window's log
    // ends as a one-job run's does.
    RunFiles(
        ctx_, items, false, [this] { return interrupted_; },
        [this](const BatchFileResult& file) {
            MarkEntry(lbxList->item(static_cast<int>(file.Index)), file.Status, file.Reason);
        });
}

void frmGUI::RunInTurn(int count)
{
    ctx_.request.RunSources.clear();
    for (int i = 0; i < count; ++i) ctx_.request.RunSources.push_back(lbxList->item(i)->text().toStdString());
    ctx_.host.ShowProgress(0, static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        QListWidgetItem* entry = lbxList->item(i);
        entry->setSelected(true);
        lbxList->scrollToItem(entry);
        ctx_.host.LogLine("File " + std::to_string(i + 1) + " of " + std::to_string(count));
        ctx_.host.Yield();
        if (interrupted_ || ctx_.stop->Requested()) {
            ctx_.host.LogLine("Interrupted by user");
            break;
        }
        RunOneFile(entry);
        entry->setSelected(false);
        ctx_.host.ShowProgress(static_cast<size_t>(i + 1), static_cast<size_t>(count));
    }
}

void frmGUI::RunOneFile(QListWidgetItem* entry)
{
    // The file reports through a watch, which tells its result; the records it changes come
    // back to the window's context. Nothing may be thrown through Qt's event handling: a step
    // that met an unexpected error has shown its error box, and the item logs it.
    FileWatch watch(ctx_.host.Target());
    const ReportingThrough reporting(ctx_.host, watch);
    ReportRow row;
    ProcessItem(ctx_, watch, {entry->text().toStdString(), "", false}, row);
    MarkEntry(entry, row.Status, row.Reason);
}

void frmGUI::MarkEntry(QListWidgetItem* entry, const std::string& statusText, const std::string& reason)
{
    const QString status = QString::fromStdString(statusText);
    entry->setData(Qt::UserRole, status);
    entry->setToolTip(reason.empty() ? status : status + ": " + QString::fromStdString(reason));
    const QStyle::StandardPixmap mark = statusText == "done"      ? QStyle::SP_DialogApplyButton
                                        : statusText == "skipped" ? QStyle::SP_MediaSkipForward
                                                                  : QStyle::SP_MessageBoxCritical;
    entry->setIcon(style()->standardIcon(mark));
}

void frmGUI::closeEvent(QCloseEvent* event)
{
    // The run loop lives in the Go handler, under this window; the window only goes out of
    // sight, and the run stops once the file in hand is done (with several jobs, at once).
    if (busy_) interrupted_ = true;
    event->accept();
}

}  // namespace varnook::ui
