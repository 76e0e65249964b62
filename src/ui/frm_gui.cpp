#include "ui/frm_gui.h"

#include "base/context.h"
#include "settings/key_table.h"
#include "settings/run_settings_file.h"
#include "ui/file_list_box.h"
#include "ui/frm_progress.h"
#include "ui/twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace varnook::ui {

namespace {

// The design client area, and the room the two windows share side by side.
constexpr int kDesignWidth = 5730;
constexpr int kDesignHeight = 5595;
constexpr int kBothWindowsWidth = 9600;
// The window cannot be made lower than the list's top plus this much list.
constexpr int kMinimumListHeight = 1000;

// The widest number a text box is expected to show in full ("-64.82", "0.95", "030").
constexpr const char* kWidestNumber = "-00.00";
// Room a button needs around its caption, on each side.
constexpr int kButtonPadding = 6;
// The design stretches in these steps until every caption fits, at most to twice its size.
constexpr double kScaleStep = 0.05;
constexpr double kMaxScale = 2.0;
// Captions that touch their neighbour read as one; keep this much air between controls side by
// side, and to the edges.
constexpr int kMinimumGap = 2;
constexpr int kMinimumMargin = 2;

QCheckBox* MakeCheck(QWidget* parent, const QString& name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QLineEdit* MakeBox(QWidget* parent, const QString& name, const QString& text,
                   const QString& toolTip = {})
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setToolTip(toolTip);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // A plain button: Return in a text box must not start a run by itself.
    button->setAutoDefault(false);
    return button;
}

// Control arrays share one name; the index follows it, as in "tbxLevel(2)".
QString Indexed(const char* name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// The least room a control needs under its font, whatever its design box says.
QSize NeededSize(QWidget* widget, int designWidth)
{
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        // A wrapping label keeps its designed width and grows downwards as its text needs.
        if (label->wordWrap()) return {designWidth, label->heightForWidth(designWidth)};
        return label->sizeHint();
    }
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        // Qt's size hint is room for 17 characters plus frame and margins; keep the frame and
        // margins, and make room for the widest number instead.
        const QFontMetrics metrics(box->font());
        const int chrome =
            box->sizeHint().width() - metrics.horizontalAdvance(QLatin1Char('x')) * 17;
        return {chrome + metrics.horizontalAdvance(kWidestNumber), box->sizeHint().height()};
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // Not the size hint: styles give every captioned button a minimum width of several
        // characters, far more than "Go!" has in the design.
        const QFontMetrics metrics(button->font());
        return {metrics.horizontalAdvance(button->text()) + 2 * kButtonPadding,
                button->sizeHint().height()};
    }
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        // The size hint adds a focus margin above and below; the design's rows of tag boxes are
        // as close as the indicator or the text is high, and the focus frame may share a pixel.
        const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box);
        return {box->sizeHint().width(), std::max(indicator, QFontMetrics(box->font()).height())};
    }
    return widget->sizeHint();
}

}  // namespace

frmGUI::frmGUI(Context& ctx, frmProgress& progress) : QWidget(&progress, Qt::Window), ctx_(ctx)
{
    setObjectName("frmGUI");
    setWindowTitle("Varnook");
    CreateControls();
    LayOut();
    SetTabOrder();
    ConnectHandlers();
    Form_Load(progress);
}

void frmGUI::CreateControls()
{
    // In tab order, each with its design box in twips (left, top, width, height), measured in
    // the window's client area or, for the controls of Frame1, in the panel.
    auto design = [this](auto* widget, int left, int top, int width, int height) {
        design_.push_back({widget, left, top, width, height});
        return widget;
    };
    chkAnalyze = design(MakeCheck(this, "chkAnalyze", "Analyze"), 120, 120, 855, 195);
    chkLevel = design(MakeCheck(this, "chkLevel", "Amplify"), 1080, 120, 855, 195);
    lblRec[0] = design(MakeLabel(this, Indexed("lblRec", 0), "New level:"), 2040, 120, 750, 195);
    tbxNewLev = design(MakeBox(this, "tbxNewLev", "0"), 2820, 75, 615, 285);
    // Placed with the longer of its two captions, so switching to the other never cuts it.
    lblRec[1] = design(MakeLabel(this, Indexed("lblRec", 1), "dB (ref. recommended level)"), 3480,
                       120, 1980, 195);
    chkTrim = design(MakeCheck(this, "chkTrim", "Trim"), 120, 720, 615, 285);
    // The trim row: six columns, each a caption over a number box.
    struct Column {
        QLabel** label;
        QLineEdit** box;
        const char* labelName;
        const char* boxName;
        int index;
        const char* caption;
        const char* toolTip;
        int left, labelWidth;
    };
    const Column columns[] = {
        {&lblLead[0], &tbxLead[0], "lblLead", "tbxLead", 0, "Lead In",
         "Lead in digital silence (seconds)", 840, 540},
        {&lblLevel[0], &tbxLevel[0], "lblLevel", "tbxLevel", 0, "Cut In",
         "Cut in level below average (dB)", 1680, 420},
        {&lblLevel[1], &tbxLevel[1], "lblLevel", "tbxLevel", 1, "Fade In",
         "Fade in level below average (dB)", 2520, 540},
        {&lblLevel[2], &tbxLevel[2], "lblLevel", "tbxLevel", 2, "Fade Out",
         "Fade out level below average (dB)", 3360, 660},
        {&lblLevel[3], &tbxLevel[3], "lblLevel", "tbxLevel", 3, "Cut Out",
         "Cut out level below average (dB)", 4200, 540},
        {&lblLead[1], &tbxLead[1], "lblLead", "tbxLead", 1, "Lead Out",
         "Lead out digital silence (seconds)", 5040, 660},
    };
    for (const Column& column : columns) {
        *column.label = design(MakeLabel(this, Indexed(column.labelName, column.index),
                                         column.caption),
                               column.left, 480, column.labelWidth, 195);
        *column.box = design(MakeBox(this, Indexed(column.boxName, column.index), "0",
                                     column.toolTip),
                             column.left, 720, 615, 285);
    }
    chkEncode = design(MakeCheck(this, "chkEncode", "Encode to mp3"), 120, 1200, 1455, 195);
    lblArg = design(MakeLabel(this, "lblArg", "Arguments:"), 1680, 1200, 795, 195);
    tbxArg = design(MakeBox(this, "tbxArg", "-h"), 2520, 1155, 2295, 285);
    cmdGo = design(MakeButton(this, "cmdGo", "Go!"), 5040, 1155, 615, 285);
    lblList = design(MakeLabel(this, "lblList", "Drag and drop files to listbox."), 120, 1680,
                     2040, 195);
    cmdIntrpt = design(MakeButton(this, "cmdIntrpt", "Interrupt"), 2520, 1560, 855, 285);
    cmdAbout = design(MakeButton(this, "cmdAbout", "More..."), 5040, 1560, 615, 285);
    lbxList = new FileListBox(this);
    lbxList->setObjectName("lbxList");
    design(lbxList, 0, 1920, 5775, 3660);

    Frame1 = new QFrame(this);
    Frame1->setObjectName("Frame1");
    Frame1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    // The panel lies over the list when shown, and must hide what is under it. It starts at the
    // list's top edge, so that with the loudness rows it still ends inside the window.
    Frame1->setAutoFillBackground(true);
    design(Frame1, 480, 1920, 5175, 2955);
    lblPercent = design(MakeLabel(Frame1, "lblPercent", "Representative Percentile"), 2400, 120,
                        1830, 195);
    tbxPercent = design(MakeBox(Frame1, "tbxPercent", "0",
                                "Share of the 50 ms windows quieter than the one that sets the "
                                "level (0 to 1)"),
                        4440, 75, 615, 285);
    lblDiff = design(MakeLabel(Frame1, "lblDiff", "Difference To Silence"), 2400, 510, 1575, 195);
    tbxDiff = design(MakeBox(Frame1, "tbxDiff", "0",
                             "Windows this far below the rest are passed over as silence (dB)"),
                     4440, 465, 615, 285);
    lblPink = design(MakeLabel(Frame1, "lblPink", "Pink Noise Reference"), 2400, 900, 1560, 195);
    tbxPink = design(MakeBox(Frame1, "tbxPink", "0", "Level of the pink noise reference (dB)"),
                     4440, 855, 615, 285);
    // The loudness targets: below the analysis parameters, the ceiling under the tag choices.
    lblLoudness = design(MakeLabel(Frame1, "lblLoudness", "Loudness"), 2400, 1290, 1560, 195);
    cboLoudness = new QComboBox(Frame1);
    cboLoudness->setObjectName("cboLoudness");
    // The choice's names in the order of its values, as the settings file holds them.
    if (const KeyRow* mode = RowOfField(ctx_.settings, ctx_.request, &ctx_.settings.Loudness)) {
        for (const std::string_view name : mode->Choices)
            cboLoudness->addItem(QString::fromStdString(std::string(name)));
    }
    cboLoudness->setToolTip("rg1: equal-loudness analysis; r128: integrated loudness (BS.1770) to the target");
    design(cboLoudness, 4200, 1245, 855, 285);
    lblTarget = design(MakeLabel(Frame1, "lblTarget", "Target (LUFS)"), 2400, 1680, 1560, 195);
    tbxTarget = design(MakeBox(Frame1, "tbxTarget", "0", "Integrated loudness the r128 mode levels to"),
                       4440, 1635, 615, 285);
    lblTruePeak = design(MakeLabel(Frame1, "lblTruePeak", "True Peak Ceiling"), 120, 1680, 1455, 195);
    tbxTruePeak = design(MakeBox(Frame1, "tbxTruePeak", "",
                                 "Highest true peak of the result (dBTP); empty for no ceiling"),
                         1680, 1635, 615, 285);
    cmdDefault = design(MakeButton(Frame1, "cmdDefault", "Default"), 4200, 2460, 855, 375);
    cmdClose = design(MakeButton(Frame1, "cmdClose", "Close"), 2400, 2460, 855, 375);
    lblID3 = MakeLabel(Frame1, "lblID3", "When re-encoding mp3 to mp3, preserve these ID3 tags:");
    lblID3->setWordWrap(true);
    design(lblID3, 120, 120, 2175, 495);
    struct TagBox {
        int index;
        const char* caption;
        int left, top, width, height;
    };
    for (const TagBox& tag : {TagBox{5, "Genre", 1200, 960, 855, 195},
                              TagBox{6, "Comment", 1200, 1200, 975, 195},
                              TagBox{0, "Title", 120, 720, 855, 195},
                              TagBox{1, "Artist", 120, 960, 855, 195},
                              TagBox{2, "Album", 120, 1200, 855, 195},
                              TagBox{3, "Year", 120, 1440, 855, 195},
                              TagBox{4, "Trackno.", 1200, 720, 975, 195}}) {
        chkID3[tag.index] = design(MakeCheck(Frame1, Indexed("chkID3", tag.index), tag.caption),
                                   tag.left, tag.top, tag.width, tag.height);
    }
    // The eighth box stands for every frame the seven do not name, cover art included.
    chkKeepAll = design(MakeCheck(Frame1, "chkKeepAll", "All others"), 1200, 1440, 1095, 195);
    chkKeepAll->setToolTip("Also carry every other tag frame and the cover art into the new mp3");
    chkSkip = design(MakeCheck(Frame1, "chkSkip", "Skip up-to-date files"), 120, 2115, 2175, 195);
    lblJobs = design(MakeLabel(Frame1, "lblJobs", "Jobs at once"), 2400, 2160, 1560, 195);
    tbxJobs = design(MakeBox(Frame1, "tbxJobs", "0", "Files processed at once (0: one per CPU)"),
                     4440, 2115, 615, 285);
    Frame1->hide();

    // The design's initial states; the load then shows the Run settings over them.
    for (QCheckBox* box : {chkAnalyze, chkLevel, chkTrim, chkEncode}) box->setChecked(true);

    for (const DesignBox& box : design_) {
        if (box.widget != lbxList) controls_.push_back(box.widget);
    }
}

void frmGUI::LayOut()
{
    // The design was drawn for a narrower font than today's desktops use. Rather than let
    // captions run into their neighbours, the whole design is stretched evenly, in small steps,
    // until every control has the room its text needs; with a font like the design's it stays
    // at twips / 15.
    for (layoutScale_ = 1.0; layoutScale_ < kMaxScale; layoutScale_ += kScaleStep) {
        PlaceControls();
        if (LayoutFits()) break;
    }
    if (!LayoutFits()) {
        layoutScale_ = kMaxScale;
        PlaceControls();
    }
    Frame1->raise();
    resize(Px(kDesignWidth, layoutScale_), Px(kDesignHeight, layoutScale_));
    setMinimumHeight(lbxList->y() + Px(kMinimumListHeight, layoutScale_));
}

void frmGUI::PlaceControls()
{
    for (const DesignBox& box : design_) {
        const QRect rect = TwipRect(box.left, box.top, box.width, box.height, layoutScale_);
        if (box.widget == lbxList || box.widget == Frame1) {
            box.widget->setGeometry(rect);
            continue;
        }
        // A control that needs more room than its box keeps its left edge and grows evenly up
        // and down, so it stays centred on its row.
        const QSize needed = NeededSize(box.widget, rect.width());
        const int w = std::max(rect.width(), needed.width());
        const int h = std::max(rect.height(), needed.height());
        box.widget->setGeometry(rect.left(), rect.top() - (h - rect.height()) / 2, w, h);
    }
}

bool frmGUI::LayoutFits() const
{
    // The list and the panel lie over each other on purpose; every other control must be clear
    // of its neighbours and inside its window or panel.
    const QRect window = TwipRect(0, 0, kDesignWidth, kDesignHeight, layoutScale_)
                             .adjusted(kMinimumMargin, kMinimumMargin, -kMinimumMargin, 0);
    const int inset = Frame1->frameWidth() + kMinimumMargin;
    const QRect panel = QRect(QPoint(0, 0), Frame1->size()).adjusted(inset, inset, -inset, -inset);
    for (size_t i = 0; i < design_.size(); ++i) {
        QWidget* a = design_[i].widget;
        if (a == lbxList || a == Frame1) continue;
        const QRect bounds = a->parentWidget() == Frame1 ? panel : window;
        if (!bounds.contains(a->geometry())) return false;
        for (size_t j = i + 1; j < design_.size(); ++j) {
            QWidget* b = design_[j].widget;
            if (b == lbxList || b == Frame1 || b->parentWidget() != a->parentWidget()) continue;
            // Side by side only: the rows are as close as the design drew them.
            const QRect around = a->geometry().adjusted(-kMinimumGap, 0, kMinimumGap, 0);
            if (around.intersects(b->geometry())) return false;
        }
    }
    return true;
}

void frmGUI::SetTabOrder()
{
    for (size_t i = 1; i < design_.size(); ++i) {
        QWidget::setTabOrder(design_[i - 1].widget, design_[i].widget);
    }
}

void frmGUI::Form_Load(frmProgress& progress)
{
    const RunSettings& settings = ctx_.settings;
    busy_ = false;
    for (const TextBox& box : textBoxes_) box.box->setText(FieldText(*box.row));
    // Shown without storing: the choice stores on the user's pick only, so a first start writes
    // no keys it did not write before.
    cboLoudness->setCurrentIndex(static_cast<int>(settings.Loudness));
    // A box whose state the load changes behaves as if clicked: its handler runs and stores it.
    // That is how the first start creates the settings file, and how a switch the command line
    // turned off is stored.
    for (int i = 0; i < 7; ++i) chkID3[i]->setChecked(settings.KeepTag[i]);
    chkKeepAll->setChecked(settings.KeepAllTags);
    chkSkip->setChecked(settings.SkipDone);
    // One after the other, each read when its turn comes: clearing Analyze clears Trim too.
    chkAnalyze->setChecked(settings.Analyze);
    chkLevel->setChecked(settings.Amplify);
    chkTrim->setChecked(settings.Trim);
    chkEncode->setChecked(settings.Encode);
    PlaceBesideProgress(progress);
}

void frmGUI::PlaceBesideProgress(frmProgress& progress)
{
    // A window's frame is known only once the window system has decorated it, which for this
    // window has not happened yet. Both are top-level windows of one kind, so this one will get
    // the frame the progress window has (or none, where there are no frames).
    const QSize progressChrome = progress.frameGeometry().size() - progress.size();
    const QSize ownChrome = progressChrome.expandedTo(frameGeometry().size() - size());
    const int ownOuterWidth = width() + ownChrome.width();

    // The two windows share their height; it stretches with the design, so the panel of the
    // extended layout still fits above the window's lower edge.
    progress.resize(Px(kBothWindowsWidth, layoutScale_) - ownOuterWidth - progressChrome.width(),
                    static_cast<int>(std::nearbyint(progress.height() * layoutScale_)));
    const QRect progressFrame = progress.frameGeometry();
    resize(width(), std::max(minimumHeight(), progressFrame.height() - ownChrome.height()));
    move(progressFrame.left() + progressFrame.width(), progressFrame.top());
}

void frmGUI::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isMinimized()) return;
    // The list fills the window below the controls at any size.
    lbxList->resize(width() - lbxList->x(), height() - lbxList->y());
}

void frmGUI::cmdDefault_Click()
{
    SetDefaults(ctx_.settings);
    for (const TextBox& box : textBoxes_) {
        if (box.row->Group != KeyGroup::Analysis) continue;
        box.box->setText(FieldText(*box.row));
        tbx_LostFocus(box);
    }
}

}  // namespace varnook::ui
