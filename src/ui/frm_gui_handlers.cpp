// The option handlers of the main window: each control writes its Run settings field and stores
// it in the settings file at once, under its row of the key table, whose range a text box keeps.
#include "ui/frm_gui.h"

#include "base/context.h"
#include "io/numbers.h"
#include "settings/ini_file.h"
#include "settings/key_table.h"
#include "ui/file_list_model.h"
#include "ui/file_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolTip>

#include <stdexcept>

namespace varnook::ui {

namespace {

constexpr const char* kRecommendedCaption = "dB (ref. recommended level)";
constexpr const char* kPresentCaption = "dB (ref. present level)";
// How far a refused box's background leans to red: enough to see on light and dark themes alike,
// little enough for the text to stay readable on both.
constexpr float kRefusedShare = 0.4f;
const QColor kRefusedColour(230, 40, 40);

QPalette RefusedPalette(QPalette palette)
{
    const QColor base = palette.color(QPalette::Base);
    const auto mix = [](float own, float red) { return own + (red - own) * kRefusedShare; };
    palette.setColor(QPalette::Base, QColor::fromRgbF(mix(base.redF(), kRefusedColour.redF()),
                                                      mix(base.greenF(), kRefusedColour.greenF()),
                                                      mix(base.blueF(), kRefusedColour.blueF())));
    return palette;
}

}  // namespace

void frmGUI::ConnectHandlers()
{
    // toggled fires for every change of state, the program's own included: the load and the
    // Analyze/Trim rule rely on a box's handler running whenever its state changes.
    connect(chkAnalyze, &QCheckBox::toggled, this, [this] { chkAnalyze_Click(); });
    connect(chkLevel, &QCheckBox::toggled, this, [this] { chkLevel_Click(); });
    connect(chkTrim, &QCheckBox::toggled, this, [this] { chkTrim_Click(); });
    connect(chkEncode, &QCheckBox::toggled, this, [this] { chkEncode_Click(); });
    for (int i = 0; i < 7; ++i) {
        connect(chkID3[i], &QCheckBox::toggled, this, [this, i] { chkID3_Click(i); });
    }
    connect(chkKeepAll, &QCheckBox::toggled, this, [this] { chkKeepAll_Click(); });

    // The order Default stores the analysis parameters in: Pink, Percent, Diff.
    RunSettings& settings = ctx_.settings;
    const auto rowOf = [this](const void* field) -> const KeyRow& {
        const KeyRow* row = RowOfField(ctx_.settings, ctx_.request, field);
        if (!row) throw std::logic_error("a text box without a key row");
        return *row;
    };
    AddTextBox(tbxNewLev, rowOf(&settings.NewLevel));
    for (size_t i = 0; i < 4; ++i) AddTextBox(tbxLevel[i], rowOf(&settings.TrimLevel[i]));
    for (size_t i = 0; i < 2; ++i) AddTextBox(tbxLead[i], rowOf(&settings.Lead[i]));
    AddTextBox(tbxPink, rowOf(&settings.PinkRef));
    AddTextBox(tbxPercent, rowOf(&settings.RmsPercent));
    AddTextBox(tbxDiff, rowOf(&settings.RmsDiff));
    AddTextBox(tbxArg, rowOf(&settings.Arguments));
    for (const RowControl& control : rowControls_) {
        if (auto* box = qobject_cast<QLineEdit*>(control.widget)) AddTextBox(box, *control.row);
        // activated: the user's pick only, not the load showing the setting.
        if (auto* choice = qobject_cast<QComboBox*>(control.widget))
            connect(choice, &QComboBox::activated, this, [this, &control] { RowControl_Click(control); });
        if (auto* box = qobject_cast<QCheckBox*>(control.widget))
            connect(box, &QCheckBox::toggled, this, [this, &control] { RowControl_Click(control); });
    }

    connect(cmdAbout, &QPushButton::clicked, Frame1, &QWidget::show);
    connect(cmdClose, &QPushButton::clicked, Frame1, &QWidget::hide);
    connect(cmdDefault, &QPushButton::clicked, this, [this] { cmdDefault_Click(); });
    connect(cmdGo, &QPushButton::clicked, this, [this] { cmdGo_Click(); });
    connect(cmdIntrpt, &QPushButton::clicked, this, [this] { cmdIntrpt_Click(); });
    connect(resultsTable, &FileTable::FilesDropped, this, [this](const QStringList& paths) { AddSources(paths); });
    connect(failuresOnlyBox, &QCheckBox::toggled, this, [this] { ApplyFilter(); });
    connect(resultsTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowSelectedPicture(); });
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(fileList, signal, this, [this] { ShowCount(); });
    connect(fileList, &QAbstractItemModel::modelReset, this, [this] { ShowCount(); });
}

void frmGUI::AddTextBox(QLineEdit* box, const KeyRow& row)
{
    QString name;
    for (const QLabel* label : findChildren<QLabel*>()) {
        if (label->buddy() == box) name = label->text().remove('&').remove(':');
    }
    textBoxes_.push_back({box, &row, box->toolTip(), name});
    box->installEventFilter(this);
    // Every change, the program's own included, so that a value put back is unmarked.
    connect(box, &QLineEdit::textChanged, this, [this, index = textBoxes_.size() - 1] {
        tbx_Change(textBoxes_[index]);
    });
}

QLineEdit* frmGUI::BoxOf(const KeyRow& row) const
{
    for (const TextBox& box : textBoxes_) {
        if (box.row == &row) return box.box;
    }
    return nullptr;
}

bool frmGUI::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        // Leaving means the focus went to another control of this window (which Qt moves before
        // that control's click runs, so Go sees a value typed just before). Switching to another
        // window or opening the box's context menu is no leaving: the focus comes back.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        for (const TextBox& box : textBoxes_) {
            if (box.box == watched && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                tbx_LostFocus(box);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QString frmGUI::FieldText(const KeyRow& row)
{
    // The boxes show a value as the settings file holds it.
    return QString::fromStdString(varnook::FieldText(row, ctx_.decimalSeparator, ctx_.settings, ctx_.request));
}

void frmGUI::Store(const KeyRow& row)
{
    WriteIni(ctx_.host, ctx_.settings.SettingsPath, ctx_.settings.SettingsSection, std::string(row.SettingsKey),
             FieldText(row).toStdString());
}

void frmGUI::StoreField(const void* field)
{
    if (const KeyRow* row = RowOfField(ctx_.settings, ctx_.request, field)) Store(*row);
}

void frmGUI::chkAnalyze_Click()
{
    ctx_.settings.Analyze = chkAnalyze->isChecked();
    if (ctx_.settings.Analyze) {
        lblRec[1]->setText(kRecommendedCaption);
        chkTrim->setEnabled(true);
    } else {
        lblRec[1]->setText(kPresentCaption);
        // Clearing runs the Trim handler, which stores "Trim" before we store "Analyze".
        chkTrim->setChecked(false);
        chkTrim->setEnabled(false);
    }
    StoreField(&ctx_.settings.Analyze);
}

void frmGUI::chkLevel_Click()
{
    ctx_.settings.Amplify = chkLevel->isChecked();
    StoreField(&ctx_.settings.Amplify);
}

void frmGUI::chkTrim_Click()
{
    // Trim goes only with Analyze, whoever tries to tick it. Clearing the box runs this handler
    // again, nested, which stores the "0"; this run then stores it once more.
    if (!chkAnalyze->isChecked() && chkTrim->isChecked()) chkTrim->setChecked(false);
    ctx_.settings.Trim = chkTrim->isChecked();
    StoreField(&ctx_.settings.Trim);
}

void frmGUI::chkEncode_Click()
{
    ctx_.settings.Encode = chkEncode->isChecked();
    StoreField(&ctx_.settings.Encode);
}

void frmGUI::chkID3_Click(int index)
{
    ctx_.settings.KeepTag[index] = chkID3[index]->isChecked();
    StoreField(&ctx_.settings.KeepTag[index]);
}

void frmGUI::chkKeepAll_Click()
{
    ctx_.settings.KeepAllTags = chkKeepAll->isChecked();
    StoreField(&ctx_.settings.KeepAllTags);
}

void frmGUI::tbx_Change(const TextBox& box)
{
    const std::string typed = box.box->text().toStdString();
    const bool refused = CheckValue(*box.row, typed, ctx_.decimalSeparator, Notation::Locale) != ValueFit::Taken;
    box.box->setPalette(refused ? RefusedPalette(palette()) : QPalette());
    if (!refused) {
        box.box->setToolTip(box.toolTip);
        statusBar()->clearMessage();
        return;
    }
    QString takes = QString::fromStdString("Takes " + TakesText(*box.row, ctx_.decimalSeparator));
    if (box.row->Kind == KeyKind::Number && box.row->Default.empty()) takes += ", or nothing for none";
    box.box->setToolTip(takes);
    // Said where the user looks, and in the status bar, where it stays while the box is marked.
    if (!box.box->hasFocus()) return;
    QToolTip::showText(box.box->mapToGlobal(QPoint(0, box.box->height())), takes, box.box);
    statusBar()->showMessage(box.name + ": " + takes.toLower());
}

void frmGUI::tbx_LostFocus(const TextBox& box)
{
    // Only the locale's own notation counts here: a typed "1.5" in a comma locale is no number
    // and brings the stored value back, as does a number out of range. The box keeps what was
    // typed ("030") unless the field holds another value (a Jobs count is whole).
    const std::string typed = box.box->text().toStdString();
    const char separator = ctx_.decimalSeparator;
    const bool taken =
        SetValue(*box.row, typed, separator, Notation::Locale, ctx_.settings, ctx_.request) == ValueFit::Taken;
    const QString stored = FieldText(*box.row);
    if (!taken || ParseLocaleNumber(typed, separator) != ParseLocaleNumber(stored.toStdString(), separator))
        box.box->setText(stored);
    QToolTip::hideText();
    statusBar()->clearMessage();
    Store(*box.row);
}

void frmGUI::RowControl_Click(const RowControl& control)
{
    std::string value;
    if (auto* choice = qobject_cast<QComboBox*>(control.widget)) value = choice->currentText().toStdString();
    if (auto* box = qobject_cast<QCheckBox*>(control.widget)) value = box->isChecked() ? "1" : "0";
    SetValue(*control.row, value, ctx_.decimalSeparator, Notation::Locale, ctx_.settings, ctx_.request);
    Store(*control.row);
}

}  // namespace varnook::ui
