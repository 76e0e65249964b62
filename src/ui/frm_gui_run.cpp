// The file list and the run over it. Drops and the file dialogs fill the list with what the
// format table takes as a source, each path once; Go takes every row through the run loop on a
// thread of its own, and each row follows its file: working, then its status, gain, output and
// reason. With one job the rows go one after the other, the log following the file in hand, and
// Interrupt stops before the next file; with several, each file's lines are logged as one block
// in the order of the list, and Interrupt ends every job. The run ends with the summary line a
// batch writes.
#include "ui/frm_gui.h"

#include "base/context.h"
#include "formats/formats.h"
#include "library/run_loop.h"
#include "library/walk.h"
#include "ui/file_list_model.h"
#include "ui/file_table.h"
#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>

namespace varnook::ui {

namespace {

// A file's picture is kept with its row at most this many windows long: about the width of a
// strip, so a thousand files' pictures cost a few megabytes.
constexpr size_t kKeptPictureWindows = 600;
constexpr int kPassedOverShownMs = 8000;
constexpr const char* kManualUrl = "man:varnook(1)";
constexpr const char* kManualHandlerType = "x-scheme-handler/man";
constexpr int kHandlerQueryMs = 2000;

// Runs `call` on the thread of `context`, after what was queued there before.
template <typename Call>
void Later(QObject* context, Call call)
{
    QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

// The host of a file of a window run: hands its trim pictures (the growing one a few times a
// second, the complete one always) to `show` and measures the whole file for them, so that the
// strip of the file's job shows it all; everything else goes to the file's own host. The /plot
// picture is written from here, its failure logged with the file's lines.
class PictureRelay final : public ForwardingHost {
public:
    using Show = std::function<void(const TrimPicture& picture)>;

    PictureRelay(Host& inner, Show show) : ForwardingHost(inner), show_(std::move(show)) {}

    bool TrimMeasured(const TrimPicture& picture) override
    {
        if (pace_.Due(picture)) show_(picture);
        if (picture.Complete) WritePlotFile(picture, *this);
        return true;
    }

private:
    Show show_;
    StripPace pace_;
};

// "Audio files (*.wav *.mp3 ...)": every extension the format table reads.
QString AudioFilter()
{
    QStringList patterns;
    for (const Format& format : Formats()) {
        if (format.Reads()) patterns << "*" + QString::fromUtf8(format.Ext.data(), static_cast<qsizetype>(format.Ext.size()));
    }
    return "Audio files (" + patterns.join(' ') + ")";
}

QString Plural(int count, const char* one)
{
    return QString("%1 %2%3").arg(count).arg(one).arg(count == 1 ? "" : "s");
}

}  // namespace

void frmGUI::AddSources(const QStringList& paths)
{
    if (busy_) return;
    std::vector<std::pair<QString, QString>> added;
    QSet<QString> adding;
    int notAudio = 0, twice = 0;
    const auto take = [&](const QString& path, const QString& shown) {
        if (fileList->Contains(path) || adding.contains(path)) {
            ++twice;
            return;
        }
        adding.insert(path);
        added.push_back({path, shown});
    };
    for (const QString& given : paths) {
        const QFileInfo info(given);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (!info.isDir()) {
            if (TakesAsSource(path.toStdString())) take(path, info.fileName());
            else ++notAudio;
            continue;
        }
        // A folder brings its sources, as a folder on the command line does, each shown by its
        // path below the folder.
        const std::vector<LibrarySource> found = WalkFolder(path.toStdString(), ChosenOutput(ctx_.settings));
        if (found.empty()) ctx_.host.LogLine("No sources in " + path.toStdString());
        for (const LibrarySource& source : found) {
            const QString file = QString::fromStdString(source.Path);
            take(file, QString::fromStdString(source.MirrorFolder) + QFileInfo(file).fileName());
        }
    }
    fileList->Append(added);
    ApplyFilter();
    QStringList passedOver;
    for (const auto& [count, why] : {std::pair{notAudio, "not audio"}, {twice, "already in the list"}}) {
        if (count == 0) continue;
        passedOver << Plural(count, "file") + " passed over: " + why;
        ctx_.host.LogLine(passedOver.back().toStdString());
    }
    if (!passedOver.isEmpty()) statusBar()->showMessage(passedOver.join("; "), kPassedOverShownMs);
}

void frmGUI::AddFilesFromDialog()
{
    if (busy_) return;
    auto* dialog = new QFileDialog(this, "Add Files", lastFolder_, AudioFilter());
    dialog->setObjectName("addFilesDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        if (!files.isEmpty()) lastFolder_ = QFileInfo(files.front()).absolutePath();
        AddSources(files);
    });
    dialog->open();
}

void frmGUI::AddFolderFromDialog()
{
    if (busy_) return;
    auto* dialog = new QFileDialog(this, "Add Folder", lastFolder_);
    dialog->setObjectName("addFolderDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& folders) {
        if (!folders.isEmpty()) lastFolder_ = folders.front();
        AddSources(folders);
    });
    dialog->open();
}

void frmGUI::RemoveSelected()
{
    if (busy_) return;
    std::vector<int> rows;
    for (const QModelIndex& index : resultsTable->selectionModel()->selectedRows()) rows.push_back(index.row());
    fileList->Remove(rows);
}

void frmGUI::ClearList()
{
    if (!busy_) fileList->Clear();
}

void frmGUI::ShowManual()
{
    // The manual page where the desktop shows one (GNOME's and KDE's help viewers do); else the
    // README an install puts beside it. Asked first, for xdg-open takes any address and fails
    // out of sight.
    QProcess handler;
    handler.start("xdg-mime", {"query", "default", kManualHandlerType});
    if (handler.waitForFinished(kHandlerQueryMs) && !handler.readAllStandardOutput().trimmed().isEmpty() &&
        QDesktopServices::openUrl(QUrl(kManualUrl)))
        return;
    const QString readme = QFileInfo(QString::fromStdString(ctx_.programPath)).absolutePath() +
                           "/../share/doc/varnook/README.md";
    if (QFileInfo::exists(readme) && QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::cleanPath(readme)))) return;
    QMessageBox::information(this, "Manual", "The manual is the page varnook(1): run \"man varnook\" in a terminal.");
}

void frmGUI::ShowAbout()
{
    QMessageBox::about(this, "About Varnook",
                       "<p><b>Varnook " VARNOOK_VERSION "</b></p>"
                       "<p>Brings music files to an even loudness: analyses them, amplifies them without "
                       "clipping, trims their silence with fades and lead silence, and encodes them.</p>");
}

void frmGUI::cmdIntrpt_Click()
{
    interrupted_ = true;
}

void frmGUI::SetControlsEnabled(bool enabled)
{
    for (QWidget* control : controls_) control->setEnabled(enabled);
    for (QAction* action : {addFilesAction, addFolderAction, removeAction, clearListAction}) action->setEnabled(enabled);
    // Trim stays unavailable while Analyze is off, as the Analyze handler left it.
    if (enabled) chkTrim->setEnabled(chkAnalyze->isChecked());
    cmdIntrpt->setEnabled(!enabled);
    // The rows keep their places while the run refers to them by row.
    fileList->Hold(!enabled);
    resultsTable->horizontalHeader()->setSectionsClickable(enabled);
}

void frmGUI::cmdGo_Click()
{
    Frame1->hide();
    if (busy_ || fileList->rowCount() == 0) return;
    busy_ = true;
    interrupted_ = false;
    SetControlsEnabled(false);
    fileList->ResetResults();
    resultsTable->clearSelection();
    progress_.StartRun();

    std::vector<RunItem> items;
    runRows_.clear();
    for (int row = 0; row < fileList->rowCount(); ++row) {
        items.push_back({fileList->At(row).Path.toStdString(), "", false});
        runRows_[items.back().Path] = row;
    }
    // Every call comes on the run's thread and goes on to the windows' thread, in order.
    RunFrontEnd frontEnd;
    frontEnd.FileStarted = [this](size_t index) {
        Later(this, [this, row = static_cast<int>(index)] {
            fileList->MarkWorking(row);
            resultsTable->scrollTo(fileList->index(row, 0));
        });
    };
    frontEnd.FileEnded = [this](size_t index, const FileResult& result) {
        Later(this, [this, row = static_cast<int>(index), result] {
            fileList->MarkResult(row, result);
            resultsTable->setRowHidden(row, failuresOnlyBox->isChecked() && result.Outcome != FileOutcome::Failed);
            ShowCount();
        });
    };
    // The time left comes from the seconds of audio, as the terminal's does.
    frontEnd.AudioProgress = true;
    frontEnd.Progress = [this](const RunProgress& progress) {
        const double share = progress.SecondsTotal > 0 ? progress.SecondsDone / progress.SecondsTotal : 0.0;
        Later(this, [this, finished = progress.Finished, total = progress.Total, share] {
            progress_.ShowProgress(finished, total, share);
        });
    };
    frontEnd.StopAsked = [this] { return interrupted_.load(); };
    frontEnd.Summary = true;
    frontEnd.HeadEveryFileFirst = true;
    run_ = std::thread([this, items = std::move(items), frontEnd] {
        RunFiles(ctx_, items, ctx_.host, frontEnd, [this](Context& file) { return RunFile(file); });
        Later(this, [this] { RunFinished(); });
    });
}

FileResult frmGUI::RunFile(Context& file)
{
    const size_t job = static_cast<size_t>(std::max(file.request.Job, 0));
    const auto found = runRows_.find(file.request.SourcePath);
    const int row = found == runRows_.end() ? -1 : found->second;
    PictureRelay pictures(file.host, [this, job, row](const TrimPicture& picture) {
        Later(this, [this, job, picture] { progress_.ShowPicture(job, picture); });
        if (!picture.Complete || row < 0) return;
        Later(this, [this, row, kept = std::make_shared<const TrimPicture>(Thinned(picture, kKeptPictureWindows))] {
            fileList->SetPicture(row, kept);
        });
    });
    Context shown(file, pictures);
    return fileJob_(shown);
}

void frmGUI::RunFinished()
{
    run_.join();
    fileList->EndWorking();
    SetControlsEnabled(true);
    busy_ = false;
    ShowCount();
    // The strips showed the files in hand; the row selected at the end may be another's.
    ShowSelectedPicture();
    emit RunEnded();
}

void frmGUI::ShowCount()
{
    const int files = fileList->rowCount();
    QString text = Plural(files, "file");
    if (const int failed = fileList->CountOf(FileListModel::State::Failed); failed > 0)
        text += QString(" \u00b7 %1 failed").arg(failed);
    fileCountLabel->setText(text);
}

void frmGUI::ApplyFilter()
{
    const bool failuresOnly = failuresOnlyBox->isChecked();
    for (int row = 0; row < fileList->rowCount(); ++row)
        resultsTable->setRowHidden(row, failuresOnly && fileList->At(row).Status != FileListModel::State::Failed);
}

void frmGUI::ShowSelectedPicture()
{
    // While a run goes on, the strips follow the files in hand.
    const QModelIndex current = resultsTable->currentIndex();
    if (busy_ || !current.isValid()) return;
    if (const auto& picture = fileList->At(current.row()).Picture) progress_.ShowOnlyPicture(*picture);
}

}  // namespace varnook::ui
