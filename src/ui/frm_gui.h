// The main window: every option of the Run settings as a control, the list of files to process
// and the run over it. Each control writes its field and stores it in the settings file the
// moment the user changes it; a run locks the options so every file sees the same settings.
#pragma once

#include <QHash>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QPushButton;

namespace varnook {
struct Context;
struct FileResult;
}

namespace varnook::ui {

class FileListBox;
class frmProgress;

class frmGUI : public QWidget {
    Q_OBJECT

public:
    // Builds every control at its design place, shows ctx.settings in them (Form_Load) and
    // places the window beside `progress`, which becomes its owner.
    frmGUI(Context& ctx, frmProgress& progress);

    bool Busy() const { return busy_; }
    // How far the design is stretched to fit the font: 1 means every twip position is exactly
    // twips / 15 pixels.
    double LayoutScale() const { return layoutScale_; }

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
    FileListBox* lbxList;
    QFrame* Frame1;
    QLabel* lblPercent;
    QLineEdit* tbxPercent;
    QLabel* lblDiff;
    QLineEdit* tbxDiff;
    QLabel* lblPink;
    QLineEdit* tbxPink;
    QLabel* lblLoudness;
    QComboBox* cboLoudness;
    QLabel* lblTarget;
    QLineEdit* tbxTarget;
    QLabel* lblTruePeak;
    QLineEdit* tbxTruePeak;
    QPushButton* cmdDefault;
    QPushButton* cmdClose;
    QLabel* lblID3;
    std::array<QCheckBox*, 7> chkID3;
    QCheckBox* chkKeepAll;
    QCheckBox* chkSkip;
    QLabel* lblJobs;
    QLineEdit* tbxJobs;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct DesignBox {
        QWidget* widget;
        int left, top, width, height;  // twips
    };

    void CreateControls();
    void LayOut();
    void PlaceControls();
    bool LayoutFits() const;
    void SetTabOrder();
    void ConnectHandlers();
    void Form_Load(frmProgress& progress);
    void PlaceBesideProgress(frmProgress& progress);

    void cmdDefault_Click();

    // Option handlers: check boxes store at once, text boxes when the focus leaves them.
    void chkAnalyze_Click();
    void chkLevel_Click();
    void chkTrim_Click();
    void chkEncode_Click();
    void chkID3_Click(int index);
    void chkKeepAll_Click();
    void chkSkip_Click();
    void tbxJobs_LostFocus();
    void tbxNewLev_LostFocus();
    void tbxLevel_LostFocus(int index);
    void tbxLead_LostFocus(int index);
    void tbxPink_LostFocus();
    void tbxPercent_LostFocus();
    void tbxDiff_LostFocus();
    void cboLoudness_Click();
    void tbxTarget_LostFocus();
    void tbxTruePeak_LostFocus();
    void tbxArg_LostFocus();
    void LeaveNumberBox(QLineEdit* box, double& field, const std::string& key);
    void Store(const std::string& key, const std::string& value);
    void StoreSwitch(const std::string& key, bool value);
    void StoreNumber(const std::string& key, double value);
    QString NumberText(double value) const;

    // File list and run control.
    void lbxList_OLEDragDrop(const QStringList& paths);
    void lbxList_KeyUp();
    void cmdGo_Click();
    void cmdIntrpt_Click();
    // Shows a file's result on its entry: the mark, the status as its data, the reason as its
    // tooltip.
    void MarkEntry(QListWidgetItem* entry, const FileResult& result);
    void SetControlsEnabled(bool enabled);

    Context& ctx_;
    // Every control with its design box, in tab order.
    std::vector<DesignBox> design_;
    double layoutScale_ = 1.0;
    bool busy_ = false;
    bool interrupted_ = false;
    // Every control but the list, in creation order: a run disables them all.
    std::vector<QWidget*> controls_;
    // What to do when the focus leaves a text box, by box.
    QHash<QObject*, std::function<void()>> leaveHandlers_;
};

}  // namespace varnook::ui
