// The option handlers of the main window: each control writes its Run settings field and stores
// it in the settings file at once.
#include "ui/frm_gui.h"

#include "base/context.h"
#include "io/numbers.h"
#include "base/run_settings.h"
#include "settings/run_settings_file.h"
#include "settings/ini_file.h"
#include "ui/file_list_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace varnook::ui {

namespace {

constexpr const char* kRecommendedCaption = "dB (ref. recommended level)";
constexpr const char* kPresentCaption = "dB (ref. present level)";

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

    leaveHandlers_.insert(tbxNewLev, [this] { tbxNewLev_LostFocus(); });
    for (int i = 0; i < 4; ++i) {
        leaveHandlers_.insert(tbxLevel[i], [this, i] { tbxLevel_LostFocus(i); });
    }
    for (int i = 0; i < 2; ++i) {
        leaveHandlers_.insert(tbxLead[i], [this, i] { tbxLead_LostFocus(i); });
    }
    leaveHandlers_.insert(tbxPink, [this] { tbxPink_LostFocus(); });
    leaveHandlers_.insert(tbxPercent, [this] { tbxPercent_LostFocus(); });
    leaveHandlers_.insert(tbxDiff, [this] { tbxDiff_LostFocus(); });
    leaveHandlers_.insert(tbxArg, [this] { tbxArg_LostFocus(); });
    leaveHandlers_.insert(tbxTarget, [this] { tbxTarget_LostFocus(); });
    leaveHandlers_.insert(tbxTruePeak, [this] { tbxTruePeak_LostFocus(); });
    // activated: the user's pick only, not the load showing the setting.
    connect(cboLoudness, &QComboBox::activated, this, [this] { cboLoudness_Click(); });
    leaveHandlers_.insert(tbxJobs, [this] { tbxJobs_LostFocus(); });
    connect(chkSkip, &QCheckBox::toggled, this, [this] { chkSkip_Click(); });
    for (QObject* box : leaveHandlers_.keys()) box->installEventFilter(this);

    connect(cmdAbout, &QPushButton::clicked, Frame1, &QWidget::show);
    connect(cmdClose, &QPushButton::clicked, Frame1, &QWidget::hide);
    connect(cmdDefault, &QPushButton::clicked, this, [this] { cmdDefault_Click(); });
    connect(cmdGo, &QPushButton::clicked, this, [this] { cmdGo_Click(); });
    connect(cmdIntrpt, &QPushButton::clicked, this, [this] { cmdIntrpt_Click(); });
    connect(lbxList, &FileListBox::FilesDropped, this,
            [this](const QStringList& paths) { lbxList_OLEDragDrop(paths); });
    connect(lbxList, &FileListBox::DeleteReleased, this, [this] { lbxList_KeyUp(); });
}

bool frmGUI::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        // Leaving means the focus went to another control of this window (which Qt moves before
        // that control's click runs, so Go sees a value typed just before). Switching to another
        // window or opening the box's context menu is no leaving: the focus comes back.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const auto handler = leaveHandlers_.constFind(watched);
        if (handler != leaveHandlers_.cend() && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason) {
            (*handler)();
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString frmGUI::NumberText(double value) const
{
    // The boxes show a number as the settings file holds it.
    return QString::fromStdString(SettingText(value, ctx_.decimalSeparator));
}

void frmGUI::Store(const std::string& key, const std::string& value)
{
    WriteIni(ctx_.host, ctx_.settings.SettingsPath, ctx_.settings.SettingsSection, key, value);
}

void frmGUI::StoreSwitch(const std::string& key, bool value)
{
    Store(key, SettingText(value));
}

void frmGUI::StoreNumber(const std::string& key, double value)
{
    Store(key, SettingText(value, ctx_.decimalSeparator));
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
    StoreSwitch(kKeyAnalyze, ctx_.settings.Analyze);
}

void frmGUI::chkLevel_Click()
{
    ctx_.settings.Amplify = chkLevel->isChecked();
    StoreSwitch(kKeyAmplify, ctx_.settings.Amplify);
}

void frmGUI::chkTrim_Click()
{
    // Trim goes only with Analyze, whoever tries to tick it. Clearing the box runs this handler
    // again, nested, which stores the "0"; this run then stores it once more.
    if (!chkAnalyze->isChecked() && chkTrim->isChecked()) chkTrim->setChecked(false);
    ctx_.settings.Trim = chkTrim->isChecked();
    StoreSwitch(kKeyTrim, ctx_.settings.Trim);
}

void frmGUI::chkEncode_Click()
{
    ctx_.settings.Encode = chkEncode->isChecked();
    StoreSwitch(kKeyEncode, ctx_.settings.Encode);
}

void frmGUI::chkID3_Click(int index)
{
    ctx_.settings.KeepTag[index] = chkID3[index]->isChecked();
    StoreSwitch(IndexedKey(index, kWordKeepTag), ctx_.settings.KeepTag[index]);
}

void frmGUI::chkKeepAll_Click()
{
    ctx_.settings.KeepAllTags = chkKeepAll->isChecked();
    StoreSwitch(kKeyKeepAllTags, ctx_.settings.KeepAllTags);
}

void frmGUI::LeaveNumberBox(QLineEdit* box, double& field, const std::string& key)
{
    // Only the locale's own notation counts here: a typed "1.5" in a comma locale is no number
    // and brings the previous value back. What the box shows as typed ("030") stays.
    if (const auto value = ParseLocaleNumber(box->text().toStdString(), ctx_.decimalSeparator)) {
        field = *value;
    } else {
        box->setText(NumberText(field));
    }
    StoreNumber(key, field);
}

void frmGUI::tbxNewLev_LostFocus()
{
    LeaveNumberBox(tbxNewLev, ctx_.settings.NewLevel, kKeyNewLevel);
}

void frmGUI::tbxLevel_LostFocus(int index)
{
    LeaveNumberBox(tbxLevel[index], ctx_.settings.TrimLevel[index],
                   IndexedKey(index, kWordTrimLevel));
}

void frmGUI::tbxLead_LostFocus(int index)
{
    LeaveNumberBox(tbxLead[index], ctx_.settings.Lead[index], IndexedKey(index, kWordLead));
}

void frmGUI::tbxPink_LostFocus()
{
    LeaveNumberBox(tbxPink, ctx_.settings.PinkRef, kKeyPinkRef);
}

void frmGUI::tbxPercent_LostFocus()
{
    LeaveNumberBox(tbxPercent, ctx_.settings.RmsPercent, kKeyRmsPercent);
}

void frmGUI::tbxDiff_LostFocus()
{
    LeaveNumberBox(tbxDiff, ctx_.settings.RmsDiff, kKeyRmsDiff);
}

void frmGUI::cboLoudness_Click()
{
    ctx_.settings.Loudness = cboLoudness->currentIndex() == 1 ? LoudnessMode::R128 : LoudnessMode::Rg1;
    Store(kKeyLoudness, SettingText(ctx_.settings.Loudness));
}

void frmGUI::tbxTarget_LostFocus()
{
    LeaveNumberBox(tbxTarget, ctx_.settings.Target, kKeyTarget);
}

void frmGUI::tbxTruePeak_LostFocus()
{
    // Empty turns the ceiling off; anything else must be a number, as in the other boxes.
    const std::string text = tbxTruePeak->text().trimmed().toStdString();
    if (text.empty()) {
        ctx_.settings.TruePeak.reset();
    } else if (const auto value = ParseLocaleNumber(text, ctx_.decimalSeparator)) {
        ctx_.settings.TruePeak = *value;
    } else {
        tbxTruePeak->setText(QString::fromStdString(SettingText(ctx_.settings.TruePeak, ctx_.decimalSeparator)));
    }
    Store(kKeyTruePeak, SettingText(ctx_.settings.TruePeak, ctx_.decimalSeparator));
}

void frmGUI::chkSkip_Click()
{
    ctx_.settings.SkipDone = chkSkip->isChecked();
    StoreSwitch(kKeySkipDone, ctx_.settings.SkipDone);
}

void frmGUI::tbxJobs_LostFocus()
{
    // Whole jobs only: what is no count of jobs brings the previous value back.
    if (const auto value = ParseLocaleNumber(tbxJobs->text().toStdString(), ctx_.decimalSeparator))
        ctx_.settings.Jobs = JobCount(*value);
    tbxJobs->setText(QString::number(ctx_.settings.Jobs));
    Store(kKeyJobs, std::to_string(ctx_.settings.Jobs));
}

void frmGUI::tbxArg_LostFocus()
{
    ctx_.settings.Arguments = tbxArg->text().toStdString();
    Store(kKeyArguments, ctx_.settings.Arguments);
}

}  // namespace varnook::ui
