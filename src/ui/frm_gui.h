// The main window: every option of the Run settings as a control, the table of files to process
// and the run over it. Each control writes its field and stores it in the settings file the
// moment the user changes it; a run locks the options so every file sees the same settings.
// The controls sit in Qt layouts, so the window grows and shrinks with its font and its user,
// never below the size at which every control shows whole. The run goes on worker threads; the
// window hears of it through queued calls and stays live throughout.
#pragma once

#include <QMainWindow>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "library/run_loop.h"
#include "pipeline/pipeline.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnook {
struct Context;
struct KeyRow;
struct TrimPicture;
}  // namespace varnook

namespace varnook::ui {

class FileListModel;
class FileTable;
class frmProgress;

class frmGUI : public QMainWindow {
    Q_OBJECT

public:
    // Builds every control, shows ctx.settings in them (Form_Load) and places the window beside
    // `progress`, which becomes its owner.
    frmGUI(Context& ctx, frmProgress& progress);
    // A run still going (the program is ending) is stopped and waited for.
    ~frmGUI() override;

    bool Busy() const { return busy_; }

    // The controls, under the names the rest of the program and the tests know them by.
    QCheckBox* chkAnalyze;
    QCheckBox* chkLevel;
    std::array<QLabel*, 2> lblRec;
    QLineEdit* tbxNewLev;
    QCheckBox* chkTrim;
    std::array<QLabel*, 2> lblLead;
    std::array<QLineEdit*, 2> tbxLead;
    std::array<QLabel*, 4> lblLevel;
    std::array<QLineEdit*, 4> tbxLevel;
    QCheckBox* chkEncode;
    QLabel* lblArg;
    QLineEdit* tbxArg;
    QPushButton* cmdGo;
    QLabel* lblList;
    QPushButton* cmdIntrpt;
    QPushButton* cmdAbout;
    QFrame* Frame1;
    QLabel* lblPercent;
    QLineEdit* tbxPercent;
    QLabel* lblDiff;
    QLineEdit* tbxDiff;
    QLabel* lblPink;
    QLineEdit* tbxPink;
    QPushButton* cmdDefault;
    QPushButton* cmdClose;
    QLabel* lblID3;
    std::array<QCheckBox*, 7> chkID3;
    QCheckBox* chkKeepAll;

    // Around them: the table of files (the list box of old), its count and filter, the menus.
    FileTable* resultsTable;
    FileListModel* fileList;
    QLabel* fileCountLabel;
    QCheckBox* failuresOnlyBox;
    QAction* addFilesAction;
    QAction* addFolderAction;
    QAction* removeAction;
    QAction* clearListAction;
    QAction* quitAction;
    QAction* manualAction;
    QAction* aboutAction;

    // The text box that shows the row's field, or null.
    QLineEdit* BoxOf(const KeyRow& row) const;

    // Adds files and folders, as a drop or a file dialog hands them over: a file the format
    // table takes as a source, a folder's sources as a batch walks them, each path once; what is
    // passed over is counted in the log. Nothing while a run goes on.
    void AddSources(const QStringList& paths);

    // What takes each file of a run: the pipeline, unless a test wraps it.
    using FileJob = varnook::FileJob;
    void SetFileJob(FileJob job) { fileJob_ = std::move(job); }

signals:
    // A run is over and the window takes input again.
    void RunEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A control made from a row of the key table (see kPanelRows in frm_gui.cpp).
    struct RowControl {
        const KeyRow* row;
        QWidget* widget;  // a QComboBox, QLineEdit or QCheckBox by the row's kind
        QLabel* label;    // none for a check box, which carries its own caption
    };

    void CreateControls();
    void CreatePanel();
    void CreateMenus();
    void LayOut();
    void SetTabOrder();
    void ConnectHandlers();
    void Form_Load();
    void PlaceBesideProgress();

    void cmdDefault_Click();

    // Option handlers: check boxes store at once, text boxes when the focus leaves them.
    void chkAnalyze_Click();
    void chkLevel_Click();
    void chkTrim_Click();
    void chkEncode_Click();
    void chkID3_Click(int index);
    void chkKeepAll_Click();
    // The controls made from rows: a switch and a choice store at once.
    void RowControl_Click(const RowControl& control);
    // Every text box stands for a row of the key table. A value the row does not take is marked
    // as it is typed, with what the row takes as the box's tooltip and in the status bar; when
    // the focus leaves, a value the row takes is set and stored, any other gives way to the
    // stored value.
    struct TextBox {
        QLineEdit* box;
        const KeyRow* row;
        QString toolTip;  // the box's own, shown while its value is taken
        QString name;     // its label's caption, for the status bar
    };
    void AddTextBox(QLineEdit* box, const KeyRow& row);
    void tbx_Change(const TextBox& box);
    void tbx_LostFocus(const TextBox& box);
    void Store(const KeyRow& row);
    void StoreField(const void* field);
    QString FieldText(const KeyRow& row);

    // The file list and the run.
    void AddFilesFromDialog();
    void AddFolderFromDialog();
    void RemoveSelected();
    void ClearList();
    void ShowManual();
    void ShowAbout();
    void cmdGo_Click();
    void cmdIntrpt_Click();
    // One file of a run, on a job's thread: the file job with its trim pictures shown.
    FileResult RunFile(Context& file);
    void RunFinished();
    void SetControlsEnabled(bool enabled);
    void ShowCount();
    void ApplyFilter();
    void ShowSelectedPicture();

    Context& ctx_;
    frmProgress& progress_;
    bool busy_ = false;
    // Asked by the run's thread before every file; set by Interrupt and by closing.
    std::atomic<bool> interrupted_ = false;
    std::thread run_;
    // The row of each source of the run going on; the rows hold their places meanwhile. Only
    // read while the run goes on, from any of its threads.
    std::unordered_map<std::string, int> runRows_;
    FileJob fileJob_ = ProcessFile;
    // Every control made from a row of the key table beyond the design's boxes.
    std::vector<RowControl> rowControls_;
    // Every control a run disables (all but the table, its filter and Interrupt).
    std::vector<QWidget*> controls_;
    // The text boxes, in the order the Default button stores them.
    std::vector<TextBox> textBoxes_;
    QString lastFolder_;
};

}  // namespace varnook::ui
