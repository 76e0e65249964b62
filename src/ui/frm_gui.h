// The main window: every option of the Run settings as a control, the list of files to process
// and the run over it. Each control writes its field and stores it in the settings file the
// moment the user changes it; a run locks the options so every file sees the same settings.
#pragma once

#include <QWidget>

#include <array>
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
struct KeyRow;
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

    // The text box that shows the row's field, or null.
    QLineEdit* BoxOf(const KeyRow& row) const;

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
    void cboLoudness_Click();
    // Every text box stands for a row of the key table. A value the row does not take is marked
    // as it is typed, with what the row takes as the box's tooltip; when the focus leaves, a value
    // the row takes is set and stored, any other gives way to the stored value.
    struct TextBox {
        QLineEdit* box;
        const KeyRow* row;
        QString toolTip;  // the box's own, shown while its value is taken
    };
    void AddTextBox(QLineEdit* box, const void* field);
    void tbx_Change(const TextBox& box);
    void tbx_LostFocus(const TextBox& box);
    void Store(const KeyRow& row);
    void StoreField(const void* field);
    QString FieldText(const KeyRow& row);

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
    // The text boxes, in the order the Default button stores them.
    std::vector<TextBox> textBoxes_;
};

}  // namespace varnook::ui
