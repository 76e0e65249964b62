// The file list and the run over it: drops and Delete fill and prune the list, Go takes every
// entry through the pipeline one after the other (the log and Interrupt follow the file in
// hand; parallel jobs are for batch runs) and marks it with its result, Interrupt stops before
// the next file.
#include "ui/frm_gui.h"

#include "control/batch.h"
#include "base/context.h"
#include "control/file_watch.h"
#include "control/library_walk.h"
#include "report/report_writer.h"
#include "ui/file_list_box.h"

#include <QFileInfo>
#include <QStyle>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>

namespace varnook::ui {

void frmGUI::lbxList_OLEDragDrop(const QStringList& paths)
{
    if (busy_) return;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            lbxList->addItem(path);
            continue;
        }
        // A folder brings its sources, as a folder on the command line does.
        const std::vector<LibrarySource> found = WalkFolder(path.toStdString(), ctx_.settings.Encode);
        if (found.empty()) ctx_.host.LogLine("No sources in " + path.toStdString());
        for (const LibrarySource& source : found) lbxList->addItem(QString::fromStdString(source.Path));
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
    ctx_.request.RunSources.clear();
    for (int i = 0; i < count; ++i) ctx_.request.RunSources.push_back(lbxList->item(i)->text().toStdString());
    for (int i = 0; i < count; ++i) {
        lbxList->item(i)->setIcon(QIcon());
        lbxList->item(i)->setToolTip({});
        lbxList->item(i)->setData(Qt::UserRole, QVariant());
    }
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

    SetControlsEnabled(true);
    busy_ = false;
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

    const QString status = QString::fromStdString(row.Status);
    entry->setData(Qt::UserRole, status);
    entry->setToolTip(row.Reason.empty() ? status : status + ": " + QString::fromStdString(row.Reason));
    const QStyle::StandardPixmap mark = row.Status == "done"      ? QStyle::SP_DialogApplyButton
                                        : row.Status == "skipped" ? QStyle::SP_MediaSkipForward
                                                                  : QStyle::SP_MessageBoxCritical;
    entry->setIcon(style()->standardIcon(mark));
}

void frmGUI::closeEvent(QCloseEvent* event)
{
    // The run loop lives in the Go handler, under this window; the window only goes out of
    // sight, and the run stops once the file in hand is done.
    if (busy_) interrupted_ = true;
    event->accept();
}

}  // namespace varnook::ui
