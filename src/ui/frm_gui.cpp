#include "ui/frm_gui.h"

#include "base/context.h"
#include "settings/key_table.h"
#include "settings/run_settings_file.h"
#include "ui/file_list_model.h"
#include "ui/file_table.h"
#include "ui/frm_progress.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace varnook::ui {

namespace {

// Rows of the key table beyond the design's own boxes, shown in the More... panel by controls
// made from the rows themselves: a choice as a combo box of its names, a number (or a text) as a
// box checked by the row's range, a switch as a check box; the row's help is the tooltip. A row
// added to the table shows here once its settings key is named with a caption.
struct PanelRow {
    std::string_view SettingsKey;
    const char* Caption;
};
constexpr PanelRow kPanelRows[] = {
    {"Loudness", "Lo&udness"},
    {"Target", "Ta&rget (LUFS)"},
    {"TruePeak", "True Peak Cei&ling"},
    {"Peaks", "Pea&ks held by"},
    {"Jobs", "&Jobs at once"},
    {"SkipDone", "&Skip up-to-date files"},
    {"Album", "Level &whole albums"},
    {"Output", "Output &format"},
    {"FlacLevel", "FLAC le&vel"},
    {"OpusBitrate", "Opus bitrate i&n kbit/s"},
    {"VorbisQuality", "Ogg Vorbis &quality"},
};

// The widest number a text box is expected to show in full ("-64.82", "0.95", "030").
constexpr const char* kWidestNumber = "-000.00";
// What the table's first columns are made wide enough for at the start.
constexpr const char* kWidestFileName = "Side B/01 A Song With a Name.flac";
constexpr const char* kWidestStatus = "skipped";
constexpr const char* kWidestGain = "+00.00 dB";
constexpr const char* kWidestOutputName = "01 A Longer Song Name.mp3";
// The reason column opens wide enough for a short reason, more when the window has room.
constexpr const char* kShortReason = "Not a valid wav file!";
// The window opens this much taller than its least height: room for a dozen files.
constexpr int kListRowsAtOpening = 12;

QCheckBox* MakeCheck(QWidget* parent, const QString& name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    if (buddy) label->setBuddy(buddy);
    return label;
}

// A box for a number: never narrower than the widest number it is expected to show.
QLineEdit* MakeBox(QWidget* parent, const QString& name, const QString& toolTip = {})
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setToolTip(toolTip);
    const QFontMetrics metrics(box->font());
    const int chrome = box->minimumSizeHint().width() - metrics.horizontalAdvance(QLatin1Char('x'));
    box->setMinimumWidth(chrome + metrics.horizontalAdvance(kWidestNumber));
    return box;
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // As in a dialog: Return on a focused button presses that button, anywhere else Go!.
    button->setAutoDefault(true);
    return button;
}

// Control arrays share one name; the index follows it, as in "tbxLevel(2)".
QString Indexed(const char* name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

const KeyRow& RowOfKey(std::string_view settingsKey)
{
    for (const KeyRow& row : KeyTable()) {
        if (row.SettingsKey == settingsKey) return row;
    }
    throw std::logic_error("no key row " + std::string(settingsKey));
}

QString Sentence(std::string_view help)
{
    QString text = QString::fromUtf8(help.data(), static_cast<qsizetype>(help.size()));
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

}  // namespace

frmGUI::frmGUI(Context& ctx, frmProgress& progress)
    : QMainWindow(&progress, Qt::Window), ctx_(ctx), progress_(progress)
{
    setObjectName("frmGUI");
    setWindowTitle("Varnook");
    CreateControls();
    CreatePanel();
    CreateMenus();
    LayOut();
    SetTabOrder();
    ConnectHandlers();
    Form_Load();
}

frmGUI::~frmGUI()
{
    if (!run_.joinable()) return;
    // The program is ending with a run still going: it stops as closing the windows stops it.
    if (!progress_.Closed()) progress_.close();
    interrupted_ = true;
    run_.join();
}

void frmGUI::CreateControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);
    tbxNewLev = MakeBox(central, "tbxNewLev");
    chkAnalyze = MakeCheck(central, "chkAnalyze", "&Analyze");
    chkLevel = MakeCheck(central, "chkLevel", "Am&plify");
    lblRec[0] = MakeLabel(central, Indexed("lblRec", 0), "New le&vel:", tbxNewLev);
    lblRec[1] = MakeLabel(central, Indexed("lblRec", 1), "dB (ref. recommended level)");
    // Sized for the longer of its two captions, so switching to the other moves nothing.
    lblRec[1]->setMinimumWidth(lblRec[1]->sizeHint().width());
    chkTrim = MakeCheck(central, "chkTrim", "&Trim");
    // The trim row: six columns, each a caption over a number box.
    struct Column {
        QLabel** label;
        QLineEdit** box;
        const char* labelName;
        const char* boxName;
        int index;
        const char* caption;
        const char* toolTip;
    };
    const Column columns[] = {
        {&lblLead[0], &tbxLead[0], "lblLead", "tbxLead", 0, "&Lead In", "Lead in digital silence (seconds)"},
        {&lblLevel[0], &tbxLevel[0], "lblLevel", "tbxLevel", 0, "&Cut In", "Cut in level below average (dB)"},
        {&lblLevel[1], &tbxLevel[1], "lblLevel", "tbxLevel", 1, "Fa&de In", "Fade in level below average (dB)"},
        {&lblLevel[2], &tbxLevel[2], "lblLevel", "tbxLevel", 2, "Fade O&ut", "Fade out level below average (dB)"},
        {&lblLevel[3], &tbxLevel[3], "lblLevel", "tbxLevel", 3, "Cut &Out", "Cut out level below average (dB)"},
        {&lblLead[1], &tbxLead[1], "lblLead", "tbxLead", 1, "L&ead Out", "Lead out digital silence (seconds)"},
    };
    for (const Column& column : columns) {
        *column.box = MakeBox(central, Indexed(column.boxName, column.index), column.toolTip);
        *column.label = MakeLabel(central, Indexed(column.labelName, column.index), column.caption, *column.box);
    }
    chkEncode = MakeCheck(central, "chkEncode", "E&ncode to mp3");
    tbxArg = new QLineEdit(central);
    tbxArg->setObjectName("tbxArg");
    lblArg = MakeLabel(central, "lblArg", "A&rguments:", tbxArg);
    cmdGo = MakeButton(central, "cmdGo", "&Go!");
    // Return starts a run from anywhere in the window (see keyPressEvent).
    cmdGo->setDefault(true);
    cmdIntrpt = MakeButton(central, "cmdIntrpt", "&Interrupt");
    cmdAbout = MakeButton(central, "cmdAbout", "&More...");

    fileList = new FileListModel(ctx_.decimalSeparator, this);
    fileList->setObjectName("fileList");
    resultsTable = new FileTable(central);
    resultsTable->setObjectName("resultsTable");
    resultsTable->setModel(fileList);
    resultsTable->setAccessibleName("Files to process");
    // The first columns as wide as what they show at most; the reason takes the rest.
    const QFontMetrics metrics = resultsTable->fontMetrics();
    const int cell = 2 * resultsTable->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + metrics.averageCharWidth();
    const int icon = resultsTable->style()->pixelMetric(QStyle::PM_SmallIconSize);
    for (const auto& [column, widest] : {std::pair{FileListModel::kFileColumn, kWidestFileName},
                                         {FileListModel::kStatusColumn, kWidestStatus},
                                         {FileListModel::kGainColumn, kWidestGain},
                                         {FileListModel::kOutputColumn, kWidestOutputName}}) {
        const int extra = column == FileListModel::kStatusColumn ? icon + cell : cell;
        resultsTable->setColumnWidth(column, std::max(metrics.horizontalAdvance(widest) + extra,
                                                      resultsTable->horizontalHeader()->sectionSizeHint(column)));
    }
    lblList = MakeLabel(central, "lblList", "Drag and drop files to list&box.", resultsTable);

    fileCountLabel = new QLabel(this);
    fileCountLabel->setObjectName("fileCountLabel");
    failuresOnlyBox = MakeCheck(this, "failuresOnlyBox", "&Show failures only");
    // Permanent, so that the messages (what a drop passed over, what a box takes) stand beside
    // them on the left, never over them.
    statusBar()->addPermanentWidget(fileCountLabel);
    statusBar()->addPermanentWidget(failuresOnlyBox);

    // The design's initial states; the load then shows the Run settings over them.
    for (QCheckBox* box : {chkAnalyze, chkLevel, chkTrim, chkEncode}) box->setChecked(true);
}

void frmGUI::CreatePanel()
{
    Frame1 = new QFrame(centralWidget());
    Frame1->setObjectName("Frame1");
    Frame1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    Frame1->setAccessibleName("More options");

    lblID3 = MakeLabel(Frame1, "lblID3", "When re-encoding mp3 to mp3, preserve these ID3 tags:");
    lblID3->setWordWrap(true);
    // In the order of the two columns they stand in, top to bottom.
    const std::array<const char*, 7> tags{"&Title", "&Artist", "Al&bum", "&Year", "Trac&kno.", "&Genre", "Co&mment"};
    for (size_t i = 0; i < tags.size(); ++i)
        chkID3[i] = MakeCheck(Frame1, Indexed("chkID3", static_cast<int>(i)), tags[i]);
    lblID3->setBuddy(chkID3[0]);
    // The eighth box stands for every frame the seven do not name, cover art included.
    chkKeepAll = MakeCheck(Frame1, "chkKeepAll", "All &others");
    chkKeepAll->setToolTip("Also carry every other tag frame and the cover art into the new mp3");

    tbxPercent = MakeBox(Frame1, "tbxPercent",
                         "Share of the 50 ms windows quieter than the one that sets the level (0 to 1)");
    lblPercent = MakeLabel(Frame1, "lblPercent", "Representative &Percentile", tbxPercent);
    tbxDiff = MakeBox(Frame1, "tbxDiff", "Windows this far below the rest are passed over as silence (dB)");
    lblDiff = MakeLabel(Frame1, "lblDiff", "&Difference To Silence", tbxDiff);
    tbxPink = MakeBox(Frame1, "tbxPink", "Level of the pink noise reference (dB)");
    lblPink = MakeLabel(Frame1, "lblPink", "P&ink Noise Reference", tbxPink);

    for (const PanelRow& shown : kPanelRows) {
        const KeyRow& row = RowOfKey(shown.SettingsKey);
        const QString key = QString::fromUtf8(row.SettingsKey.data(), static_cast<qsizetype>(row.SettingsKey.size()));
        QWidget* widget = nullptr;
        switch (row.Kind) {
        case KeyKind::Choice: {
            auto* choice = new QComboBox(Frame1);
            choice->setObjectName("cbo" + key);
            // The names in the order of their values, as the settings file holds them.
            for (const std::string_view name : row.Choices)
                choice->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
            widget = choice;
            break;
        }
        case KeyKind::Switch: widget = MakeCheck(Frame1, "chk" + key, shown.Caption); break;
        case KeyKind::Number:
        case KeyKind::Text: widget = MakeBox(Frame1, "tbx" + key); break;
        }
        widget->setToolTip(Sentence(row.Help));
        QLabel* label = row.Kind == KeyKind::Switch ? nullptr : MakeLabel(Frame1, "lbl" + key, shown.Caption, widget);
        rowControls_.push_back({&row, widget, label});
    }
    cmdDefault = MakeButton(Frame1, "cmdDefault", "D&efault");
    cmdClose = MakeButton(Frame1, "cmdClose", "&Close");
    Frame1->hide();
}

void frmGUI::CreateMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    addFilesAction = file->addAction("&Add Files\u2026", this, [this] { AddFilesFromDialog(); });
    addFilesAction->setShortcut(QKeySequence::Open);
    addFolderAction = file->addAction("Add &Folder\u2026", this, [this] { AddFolderFromDialog(); });
    file->addSeparator();
    removeAction = file->addAction("&Remove", this, [this] { RemoveSelected(); });
    removeAction->setShortcut(QKeySequence::Delete);
    // Only where files are chosen: Delete in a text box deletes a character.
    removeAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    resultsTable->addAction(removeAction);
    clearListAction = file->addAction("&Clear List", this, [this] { ClearList(); });
    file->addSeparator();
    quitAction = file->addAction("&Quit", this, &QWidget::close);
    quitAction->setShortcuts({QKeySequence::Quit, QKeySequence::Close});
    QMenu* help = menuBar()->addMenu("&Help");
    manualAction = help->addAction("&Manual", this, [this] { ShowManual(); });
    manualAction->setShortcut(QKeySequence::HelpContents);
    aboutAction = help->addAction("&About Varnook", this, [this] { ShowAbout(); });
    const std::pair<QAction*, const char*> names[] = {
        {addFilesAction, "addFilesAction"}, {addFolderAction, "addFolderAction"}, {removeAction, "removeAction"},
        {clearListAction, "clearListAction"}, {quitAction, "quitAction"}, {manualAction, "manualAction"},
        {aboutAction, "aboutAction"}};
    for (const auto& [action, name] : names) action->setObjectName(name);
}

void frmGUI::LayOut()
{
    // One grid for the options, seven columns: the step switches, then the six trim columns,
    // which the other rows share (New level over Fade In, Go! and More... over Lead Out).
    auto* options = new QGridLayout;
    options->addWidget(chkAnalyze, 0, 0);
    options->addWidget(chkLevel, 0, 1);
    options->addWidget(lblRec[0], 0, 2, Qt::AlignRight);
    options->addWidget(tbxNewLev, 0, 3);
    options->addWidget(lblRec[1], 0, 4, 1, 3);
    for (int i = 0; i < 6; ++i) {
        QLabel* label = i == 0 ? lblLead[0] : i == 5 ? lblLead[1] : lblLevel[i - 1];
        QLineEdit* box = i == 0 ? tbxLead[0] : i == 5 ? tbxLead[1] : tbxLevel[i - 1];
        options->addWidget(label, 1, i + 1, Qt::AlignBottom);
        options->addWidget(box, 2, i + 1);
        options->setColumnStretch(i + 1, 1);
    }
    options->addWidget(chkTrim, 2, 0);
    options->addWidget(chkEncode, 3, 0, 1, 2);
    options->addWidget(lblArg, 3, 2, Qt::AlignRight);
    options->addWidget(tbxArg, 3, 3, 1, 3);
    options->addWidget(cmdGo, 3, 6);
    options->addWidget(lblList, 4, 0, 1, 3);
    options->addWidget(cmdIntrpt, 4, 3);
    options->addWidget(cmdAbout, 4, 6);

    // The panel: the tag choices on the left, the analysis parameters and the rows of the key
    // table beyond the design on the right, its two buttons below.
    auto* tagBoxes = new QGridLayout;
    for (int i = 0; i < 4; ++i) tagBoxes->addWidget(chkID3[i], i, 0);
    for (int i = 4; i < 7; ++i) tagBoxes->addWidget(chkID3[i], i - 4, 1);
    tagBoxes->addWidget(chkKeepAll, 3, 1);
    auto* tags = new QVBoxLayout;
    tags->addWidget(lblID3);
    tags->addLayout(tagBoxes);
    tags->addStretch(1);
    auto* values = new QFormLayout;
    for (QLabel* label : {lblPercent, lblDiff, lblPink}) values->addRow(label, label->buddy());
    for (const RowControl& control : rowControls_) {
        if (control.label) values->addRow(control.label, control.widget);
        else values->addRow(control.widget);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    buttons->addWidget(cmdDefault);
    auto* panel = new QGridLayout(Frame1);
    panel->addLayout(tags, 0, 0);
    panel->addLayout(values, 0, 1);
    panel->addLayout(buttons, 1, 0, 1, 2);
    panel->setColumnStretch(0, 1);
    panel->setColumnStretch(1, 1);

    // The panel stands between the options and the table, so it never hides a file.
    auto* window = new QVBoxLayout(centralWidget());
    window->addLayout(options);
    window->addWidget(Frame1);
    window->addWidget(resultsTable, 1);

    // Every control but the table, its filter and Interrupt: a run disables them.
    for (QWidget* parent : {centralWidget(), static_cast<QWidget*>(Frame1)}) {
        for (QWidget* control : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control != resultsTable && control != cmdIntrpt && control != Frame1) controls_.push_back(control);
        }
    }
}

void frmGUI::SetTabOrder()
{
    // As the controls stand, row by row and, in the panel, column by column.
    std::vector<QWidget*> order{chkAnalyze, chkLevel, tbxNewLev, chkTrim, tbxLead[0]};
    for (QLineEdit* box : tbxLevel) order.push_back(box);
    order.insert(order.end(), {tbxLead[1], chkEncode, tbxArg, cmdGo, cmdIntrpt, cmdAbout});
    for (QCheckBox* box : chkID3) order.push_back(box);
    order.insert(order.end(), {chkKeepAll, tbxPercent, tbxDiff, tbxPink});
    for (const RowControl& control : rowControls_) order.push_back(control.widget);
    order.insert(order.end(), {cmdClose, cmdDefault, resultsTable, failuresOnlyBox});
    for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmGUI::Form_Load()
{
    const RunSettings& settings = ctx_.settings;
    busy_ = false;
    cmdIntrpt->setEnabled(false);
    for (const TextBox& box : textBoxes_) box.box->setText(FieldText(*box.row));
    // A control whose state the load changes behaves as if clicked: its handler runs and stores
    // it. That is how the first start creates the settings file, and how a switch the command
    // line turned off is stored. A choice is shown without storing: it stores on the user's pick
    // only, so a first start writes no keys it did not write before.
    for (const RowControl& control : rowControls_) {
        const QString value = FieldText(*control.row);
        if (auto* choice = qobject_cast<QComboBox*>(control.widget)) choice->setCurrentText(value);
        if (auto* box = qobject_cast<QCheckBox*>(control.widget)) box->setChecked(value == "1");
    }
    for (int i = 0; i < 7; ++i) chkID3[i]->setChecked(settings.KeepTag[i]);
    chkKeepAll->setChecked(settings.KeepAllTags);
    // One after the other, each read when its turn comes: clearing Analyze clears Trim too.
    chkAnalyze->setChecked(settings.Analyze);
    chkLevel->setChecked(settings.Amplify);
    chkTrim->setChecked(settings.Trim);
    chkEncode->setChecked(settings.Encode);
    ShowCount();
    PlaceBesideProgress();
}

void frmGUI::PlaceBesideProgress()
{
    // A window's frame is known only once the window system has decorated it, which for this
    // window has not happened yet; the progress window's frame stands for both.
    const QRect progressFrame = progress_.frameGeometry();
    const QSize least = minimumSizeHint();
    int columns = resultsTable->fontMetrics().horizontalAdvance(kShortReason);
    for (int column = 0; column < FileListModel::kReasonColumn; ++column) columns += resultsTable->columnWidth(column);
    const QMargins margins = centralWidget()->layout()->contentsMargins();
    const int chrome = margins.left() + margins.right() + 2 * resultsTable->frameWidth() +
                       resultsTable->verticalScrollBar()->sizeHint().width();
    const int rowHeight = resultsTable->verticalHeader()->defaultSectionSize();
    resize(std::max(least.width(), columns + chrome), least.height() + kListRowsAtOpening * rowHeight);
    move(progressFrame.left() + progressFrame.width(), progressFrame.top());
    // Side by side at one height, as the two halves of one desk.
    progress_.resize(progress_.width(), height());
}

void frmGUI::keyPressEvent(QKeyEvent* event)
{
    // Keys no control took: Return and Enter start a run, as a dialog's default button does;
    // Escape closes the panel.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!cmdGo->isEnabled()) break;
        // Through the focus, so a value typed just before is taken as a click would take it.
        cmdGo->setFocus(Qt::OtherFocusReason);
        cmdGo->click();
        return;
    case Qt::Key_Escape:
        if (Frame1->isHidden()) break;
        Frame1->hide();
        return;
    default: break;
    }
    QMainWindow::keyPressEvent(event);
}

void frmGUI::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program as closing the progress window does: the run
    // going on stops, and every window closes.
    interrupted_ = true;
    if (!progress_.Closed()) progress_.close();
    event->accept();
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
