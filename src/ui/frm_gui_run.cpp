// The file list and the run over it: drops and Delete fill and prune the list (a drop keeps what
// the format table takes as a source, each path once), Go takes every entry through the run loop
// and marks it with its result, the selection following the files in hand. With one job the
// entries go one after the other, the log following the file in hand, and Interrupt stops before
// the next file; with several, each file's lines are logged as one block in the order of the
// list, and Interrupt ends every job.
#include "ui/frm_gui.h"

#include "base/context.h"
#include "formats/formats.h"
#include "library/run_loop.h"
#include "library/walk.h"
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
        const std::vector<LibrarySource> found = WalkFolder(path.toStdString(), ChosenOutput(ctx_.settings));
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

    // Drops and Delete are refused while busy, so the list cannot change during the run.
    std::vector<RunItem> items;
    for (int i = 0; i < lbxList->count(); ++i) {
        QListWidgetItem* entry = lbxList->item(i);
        entry->setIcon(QIcon());
        entry->setToolTip({});
        entry->setData(Qt::UserRole, QVariant());
        items.push_back({entry->text().toStdString(), "", false});
    }
    // The loop calls back on this thread, where Qt allows the entries to be changed, and keeps
    // the window's events flowing through the host. No summary line: a window run's log ends
    // with its last file.
    RunFrontEnd frontEnd;
    frontEnd.FileStarted = [this](size_t index) {
        QListWidgetItem* entry = lbxList->item(static_cast<int>(index));
        entry->setSelected(true);
        lbxList->scrollToItem(entry);
    };
    frontEnd.FileEnded = [this](size_t index, const FileResult& result) {
        QListWidgetItem* entry = lbxList->item(static_cast<int>(index));
        MarkEntry(entry, result);
        entry->setSelected(false);
    };
    frontEnd.Progress = [this](const RunProgress& progress) { ctx_.host.ShowProgress(progress.Finished, progress.Total); };
    frontEnd.StopAsked = [this] { return interrupted_; };
    frontEnd.HeadEveryFileFirst = true;
    RunFiles(ctx_, items, ctx_.host, frontEnd);

    SetControlsEnabled(true);
    busy_ = false;
}

void frmGUI::MarkEntry(QListWidgetItem* entry, const FileResult& result)
{
    const QString status = StatusText(result.Outcome);
    entry->setData(Qt::UserRole, status);
    entry->setToolTip(result.Reason.empty() ? status : status + ": " + QString::fromStdString(result.Reason));
    QStyle::StandardPixmap mark = QStyle::SP_MessageBoxCritical;
    switch (result.Outcome) {
    case FileOutcome::Done: mark = QStyle::SP_DialogApplyButton; break;
    case FileOutcome::Skipped: mark = QStyle::SP_MediaSkipForward; break;
    case FileOutcome::Stopped: mark = QStyle::SP_BrowserStop; break;
    case FileOutcome::Failed: break;
    }
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
