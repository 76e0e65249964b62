// The file list and the run over it: drops and Delete fill and prune the list, Go takes every
// entry through the pipeline, Interrupt stops before the next file.
#include "ui/frm_gui.h"

#include "base/context.h"
#include "control/pipeline.h"
#include "ui/file_list_box.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>

namespace varnook::ui {

void frmGUI::lbxList_OLEDragDrop(const QStringList& paths)
{
    if (busy_) return;
    lbxList->addItems(paths);
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
        QListWidgetItem* entry = lbxList->item(i);
        entry->setSelected(true);
        lbxList->scrollToItem(entry);
        ctx_.host.LogLine("File " + std::to_string(i + 1) + " of " + std::to_string(count));
        ctx_.host.Yield();
        if (interrupted_) {
            ctx_.host.LogLine("Interrupted by user");
            break;
        }
        RunOneFile(entry->text());
        entry->setSelected(false);
    }

    SetControlsEnabled(true);
    busy_ = false;
}

void frmGUI::RunOneFile(const QString& path)
{
    ctx_.request.SourcePath = path.toStdString();
    ctx_.request.DestPath.clear();
    // Nothing may be thrown through Qt's event handling; an error is logged and the run goes on.
    ProcessFileLoggingErrors(ctx_);
}

void frmGUI::closeEvent(QCloseEvent* event)
{
    // The run loop lives in the Go handler, under this window; the window only goes out of
    // sight, and the run stops once the file in hand is done.
    if (busy_) interrupted_ = true;
    event->accept();
}

}  // namespace varnook::ui
