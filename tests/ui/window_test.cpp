// The windows as a user meets them: what the main window shows and stores on opening, the value
// checks and the More... panel, files added by a drop and by the dialogs, runs through the real
// pipeline on the run's own thread (Return, Interrupt, closing, two jobs), "--open", the layout at
// its least size; and the picture of the trim step's work, in the progress window and in /plot's
// PNGs.
#include <gtest/gtest.h>

// The whole widget module: the tests reach into most kinds of control the windows hold.
#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QtWidgets>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "base/context.h"
#include "cli/command_line.h"
#include "formats/formats.h"
#include "io/numbers.h"
#include "settings/ini_file.h"
#include "settings/key_table.h"
#include "settings/run_settings_file.h"
#include "support/captured_run.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/file_list_model.h"
#include "ui/file_table.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace varnook::test {
namespace {

using Model = ui::FileListModel;

constexpr int kRunTimeoutMs = 60000;

// 2 s of silence, 10 s of tone, 3 s of silence: the trim step's marks belong at the tone's edges.
std::vector<int16_t> ToneBetweenSilences()
{
    return Concat(Concat(Silence(2 * 44100), Sine(1000, 16000, 44100, 10 * 44100)), Silence(3 * 44100));
}

class WindowTest : public ::testing::Test {
protected:
    // Opens the windows over the settings file as start-up does, from `settings` if given.
    void Open(const std::string& settings = "", const std::vector<std::string>& openFiles = {})
    {
        ctx.settings.SettingsPath = dir.File("varnook.ini");
        ctx.settings.SettingsSection = kSettingsSection;
        if (!settings.empty()) WriteText(ctx.settings.SettingsPath, "[Values]\n" + settings);
        LoadSettings(ctx);
        gui = ui::OpenWindows(host, ctx, openFiles);
        gui->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(gui.get()));
    }

    QString Path(const std::string& name) const { return QString::fromStdString(dir.File(name)); }

    // The value stored under `key` in the settings file Open made, or "<missing>".
    auto Stored(const std::string& key) const { return ReadIni(dir.File("varnook.ini"), kSettingsSection, key, "<missing>"); }

    // Replaces a text box's text by typing, leaving the focus in the box.
    static void Type(QLineEdit* box, const QString& text)
    {
        box->setFocus(Qt::MouseFocusReason);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }

    // Drops paths (or, with a scheme, other URLs) on the table as a file manager does.
    void Drop(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromUserInput(path);
        data.setUrls(urls);
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gui->resultsTable->viewport(), &enter);
        QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gui->resultsTable->viewport(), &drop);
    }

    // Chooses `paths` in the file dialog that `action` opens, as a user would.
    void Choose(QAction* action, const QStringList& paths)
    {
        action->trigger();
        auto* dialog = gui->findChild<QFileDialog*>();
        ASSERT_NE(dialog, nullptr);
        offered += dialog->nameFilters();
        dialog->setDirectory(QFileInfo(paths.front()).absolutePath());
        QStringList names;
        for (const QString& path : paths) names << "\"" + QFileInfo(path).fileName() + "\"";
        dialog->selectFile(paths.size() == 1 ? QFileInfo(paths.front()).fileName() : names.join(' '));
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_VERIFY(gui->findChild<QFileDialog*>() == nullptr);
    }

    // A column's texts, row by row.
    static QStringList Texts(const QAbstractItemModel& model, int column, int role = Qt::DisplayRole)
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row) texts << model.index(row, column).data(role).toString();
        return texts;
    }
    // The table's column as shown; the files as full paths; the progress window's log.
    QStringList Column(int column) const { return Texts(*gui->fileList, column); }
    QStringList Files() const { return Texts(*gui->fileList, Model::kFileColumn, Qt::UserRole); }
    QStringList Log() { return Texts(*host.Progress().lbxList->model(), 0); }

    // Presses Go! (or Return in `box`, when given) and waits for the run to end.
    void RunAll(QWidget* box = nullptr)
    {
        QSignalSpy ended(gui.get(), &ui::frmGUI::RunEnded);
        if (box) QTest::keyClick(box, Qt::Key_Return);
        else QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
        ASSERT_TRUE(ended.wait(kRunTimeoutMs));
    }

    // Lets the test step in on the windows' thread when a run's file `index` is taken, before it
    // is processed, as a user watching the list would; with `waitForStop`, every file taken waits
    // for the run's stop to reach it before it is processed, so the jobs' files stop whatever
    // their speed.
    void AtFile(size_t index, const std::function<void()>& act, bool waitForStop = false)
    {
        gui->SetFileJob([this, index, act, waitForStop, taken = std::make_shared<std::atomic<size_t>>(0)](Context& file) {
            if ((*taken)++ == index) QMetaObject::invokeMethod(gui.get(), act, Qt::BlockingQueuedConnection);
            while (waitForStop && !file.stop->Requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return ProcessFile(file);
        });
    }

    // Files of `samples` (one-second 16-bit sines, the least the amplify step takes) in the
    // test's folder and the table holding them; no amplifying or encoding, `jobs` files at once,
    // the other switches as given.
    QStringList OpenWithFiles(const std::string& switches, int jobs = 1, int files = 3,
                              const std::vector<int16_t>& samples = Sine(440, 8000, 44100, 44100))
    {
        // The settings file's first line of a key counts, so the test's own switches come first.
        Open(switches + "Level=0\nEncode=0\nJobs=" + std::to_string(jobs) + "\n");
        QStringList paths;
        for (int i = 1; i <= files; ++i) paths << Path("song" + std::to_string(i) + ".wav");
        for (const QString& path : paths) WriteAllBytes(path.toStdString(), BuildWav(WavLayout{}, samples));
        Drop(paths);
        return paths;
    }

    TempDir dir;
    QStringList offered;  // the name filters of the dialogs Choose answered
    ui::QtHost host;
    Context ctx{host};
    std::unique_ptr<ui::frmGUI> gui;
};

// Text boxes take their value when the focus leaves them, which a button's click does before the
// click runs. Default resets and stores only the analysis parameters; the other boxes and the
// controls the panel makes from key rows store what is typed or picked, numbers only in the
// locale's own notation and within their key's range (anything else puts the previous value back).
TEST_F(WindowTest, DefaultAndTheMorePanel)
{
    Open("PinkRef=80\nRmsPercent=0.5\nRmsDiff=10\n");
    gui->cmdAbout->click();
    QApplication::processEvents();  // the panel laid out, as the user sees it
    Type(gui->tbxNewLev, "-4");
    double seenAtClick = 0;
    QObject::connect(gui->cmdDefault, &QPushButton::clicked, gui.get(), [&] { seenAtClick = ctx.settings.NewLevel; });
    QTest::mouseClick(gui->cmdDefault, Qt::LeftButton);
    EXPECT_EQ(gui->tbxPink->text() + " " + gui->tbxPercent->text() + " " + gui->tbxDiff->text(), "64.82 0.95 30");
    EXPECT_EQ(Stored("PinkRef") + " " + Stored("RmsPercent") + " " + Stored("RmsDiff"), "64.82 0.95 30");
    EXPECT_EQ(Stored("NewLevel") + " " + FormatGeneral(seenAtClick, '.'), "-4 -4");
    QTest::keyClick(gui->findChild<QCheckBox*>("chkSkipDone"), Qt::Key_Space);
    QTest::keyClick(gui->findChild<QComboBox*>("cboLoudness"), Qt::Key_Down);
    EXPECT_EQ(Stored("SkipDone") + " " + Stored("Loudness"), "1 r128");
    EXPECT_TRUE(ctx.settings.SkipDone && ctx.settings.Loudness == LoudnessMode::R128);

    // What a box shows and what is stored once the focus leaves it: a few notations, then for
    // every number row of the key table beyond its top, no number, and its top. A value refused
    // (nothing stored below) is marked as it is typed, the tooltip and the status bar saying the
    // range, and gives way to the value the field keeps, in the box and in the file.
    struct Row { QLineEdit* box; std::string key, typed; std::optional<std::string> stored; const char* locale = "C"; };
    std::vector<Row> rows{{gui->tbxLevel[0], "0Level", "030", "30"}, {gui->tbxLead[0], "0Lead", "-3", "-3"},
                          {gui->BoxOf(*RowOfField(ctx.settings, ctx.request, &ctx.settings.TruePeak)), "TruePeak", "", ""},
                          {gui->tbxPink, "PinkRef", "70,5", "70,5", kCommaLocale},
                          {gui->tbxPink, "PinkRef", "1.5", {}, kCommaLocale}};
    for (const KeyRow& key : KeyTable()) {
        if (key.Kind != KeyKind::Number) continue;
        const std::string name(key.SettingsKey), top = FormatGeneral(key.Range.High, '.');
        for (const std::string& typed : {FormatGeneral(key.Range.High + 1, '.'), std::string("1x"), top})
            rows.push_back({gui->BoxOf(key), name, typed, typed == top ? std::optional(top) : std::nullopt});
    }
    const QColor plain = gui->tbxArg->palette().color(QPalette::Base);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key + " " + row.typed);
        const ScopedLocale locale(row.locale);
        if (!locale.Active()) GTEST_SKIP() << "no " << row.locale;
        ctx.decimalSeparator = FindDecimalSeparator();
        ASSERT_NE(row.box, nullptr);
        const KeyRow& key = *std::ranges::find(KeyTable(), row.key, &KeyRow::SettingsKey);
        const std::string before = FieldText(key, ctx.decimalSeparator, ctx.settings, ctx.request);
        const QString range = QString::fromStdString(RangeText(key.Range, ctx.decimalSeparator));
        Type(row.box, QString::fromStdString(row.typed));
        EXPECT_EQ(QList<bool>({row.box->palette().color(QPalette::Base) != plain, row.box->toolTip().contains(range),
                               gui->statusBar()->currentMessage().contains(range)}), QList<bool>(3, !row.stored));
        gui->tbxArg->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(row.box->text().toStdString() + " " + Stored(row.key),
                  row.stored ? row.typed + " " + *row.stored : before + " " + before);
        EXPECT_EQ(row.box->palette().color(QPalette::Base), plain);
    }
    QTest::keyClick(gui.get(), Qt::Key_Escape);
    EXPECT_TRUE(gui->Frame1->isHidden()) << "Escape closes the panel";
}

// Files come by a drop and by the two dialogs alike: every format of the table, loose in any
// letter case or found in a folder (but not what a source there would write), each path once;
// what is not a source or already listed is passed over, and the log counts it. A folder's files
// are shown by their path below it.
TEST_F(WindowTest, DropsAndDialogsTakeEveryFormatOnceAndCountWhatTheyPassOver)
{
    Open();
    const std::string lib = dir.File("lib/"), more = dir.File("more/");
    for (const std::string& folder : {lib + "sub", more}) std::filesystem::create_directories(folder);
    QStringList walked, shown, loose;
    for (const Format& format : Formats()) {
        const std::string ext(format.Ext), name = ext.substr(1) + ext;  // "flac.flac": no output of another
        WriteText(lib + "sub/" + name, "");
        WriteText(lib + "sub/" + ext.substr(1) + ".mp3", "");  // what an earlier run made of it, or a source
        walked << QString::fromStdString(lib + "sub/" + name);
        shown << QString::fromStdString("sub/" + name);
        loose << QString::fromStdString(more + ext.substr(1) + "-song") + QString::fromStdString(ext).toUpper();
        WriteText(loose.back().toStdString(), "");
    }
    for (const std::string& folder : {lib, more}) WriteText(folder + "notes.txt", "");
    for (QStringList* list : {&walked, &shown, &loose}) list->sort();
    const QString notes = QString::fromStdString(more + "notes.txt");
    const struct { const char* way; std::function<void(const QStringList&)> add; QStringList given, added, passedOver; } rows[]{
        {"drop", [this](const QStringList& p) { Drop(p); },
         QStringList{QString::fromStdString(lib), loose[0], notes, walked[1]}, walked + QStringList{loose[0]},
         {"1 file passed over: not audio", "1 file passed over: already in the list"}},
        {"Add Files", [this](const QStringList& p) { Choose(gui->addFilesAction, p); },
         loose.mid(0, 3) + QStringList{notes}, loose.mid(1, 2),
         {"1 file passed over: not audio", "1 file passed over: already in the list"}},
        {"Add Folder", [this](const QStringList& p) { Choose(gui->addFolderAction, p); },
         {QString::fromStdString(more).chopped(1)}, loose.mid(3), {"3 files passed over: already in the list"}},
    };
    QStringList listed;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.way);
        const qsizetype logged = Log().size();
        row.add(row.given);
        listed += row.added;
        EXPECT_EQ(Files(), listed);
        EXPECT_EQ(Log().mid(logged), row.passedOver);
    }
    EXPECT_EQ(Column(Model::kFileColumn).mid(0, shown.size()), shown);
    EXPECT_EQ(gui->fileCountLabel->text(), QString("%1 files").arg(listed.size()));
    // The dialogs offer what the format table reads.
    for (const Format& format : Formats())
        EXPECT_TRUE(offered.join(' ').contains("*" + QString::fromStdString(std::string(format.Ext)))) << format.Ext;
}

// A run started by Return in a text box, taking what was typed there, watched as a user would:
// the controls as the second file is taken, Interrupt pressed then; then the table. Analyze is off,
// which took Trim with it on loading; Interrupt is there only while a run goes on.
TEST_F(WindowTest, ReturnStartsARunThatLocksAllButTheTableAndInterruptStopsAfterTheFileInHand)
{
    const QStringList files = OpenWithFiles("Analyze=0\nTrim=1\nLevel=1\n");
    EXPECT_FALSE(gui->cmdIntrpt->isEnabled());
    QStringList enabledDuringRun;
    AtFile(1, [&] {
        for (QWidget* widget : gui->findChildren<QWidget*>())
            if (widget->isEnabled() && widget->isVisibleTo(gui.get()) && widget->focusPolicy() != Qt::NoFocus &&
                !widget->objectName().isEmpty())
                enabledDuringRun << widget->objectName();
        Drop({Path("late.wav")});
        gui->resultsTable->selectRow(0);
        gui->removeAction->trigger();
        EXPECT_EQ(Files(), files) << "drops and Remove wait for the run to end";
        QTest::mouseClick(gui->cmdIntrpt, Qt::LeftButton);
    });
    Type(gui->tbxNewLev, "-3");
    RunAll(gui->tbxNewLev);

    enabledDuringRun.sort();
    EXPECT_EQ(enabledDuringRun, (QStringList{"cmdIntrpt", "failuresOnlyBox", "resultsTable"}));
    // The file in hand is taken to its end, then the run stops with the summary of what it did.
    const QString tail = Log().mid(Log().size() - 4).join('\n');
    EXPECT_TRUE(tail.startsWith("\nFile 3 of 3\nFiles done: 2, skipped: 0, failed: 0, stopped: 0;") &&
                tail.endsWith("\nInterrupted by user")) << tail.toStdString();
    EXPECT_EQ(Column(Model::kStatusColumn) + Column(Model::kGainColumn),
              (QStringList{"done", "done", "", "-3.00 dB", "-3.00 dB", ""}));
    EXPECT_EQ(Stored("Trim") + Stored("NewLevel"), "0-3");
    EXPECT_TRUE(gui->chkLevel->isEnabled() && gui->cmdGo->isEnabled() && !gui->cmdIntrpt->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isEnabled()) << "Trim stays locked while Analyze is off";

    // Once the run is over: local files are appended in drop order, other URLs are left out,
    // and Remove (Delete in the table) takes the selected rows.
    WriteText(dir.File("late.wav"), "");
    Drop({"https://example.org/song.mp3", Path("late.wav")});
    EXPECT_EQ(Files(), files + QStringList{Path("late.wav")});
    gui->resultsTable->setFocus();
    gui->resultsTable->selectRow(0);
    gui->resultsTable->selectionModel()->select(gui->fileList->index(3, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(gui->resultsTable, Qt::Key_Delete);
    EXPECT_EQ(Files(), (QStringList{files[1], files[2]}));
}

// Closing either window ends the program: the file in hand stops at once (a hung lame would keep
// the program alive), nothing more is taken, and Qt's event loop ends with the windows.
class ClosingTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingTest, EndsTheProgramAfterTheFileInHand)
{
    OpenWithFiles("Analyze=1\nTrim=0\n");
    AtFile(0, [this] {
        (GetParam() ? static_cast<QWidget*>(gui.get()) : &host.Progress())->close();
        EXPECT_TRUE(ctx.stop->Requested());
    });
    QTimer::singleShot(0, [this] { QTest::mouseClick(gui->cmdGo, Qt::LeftButton); });
    QTimer::singleShot(10000, gui.get(), [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "the loop had to be ended from outside";
    QTRY_VERIFY_WITH_TIMEOUT(!gui->Busy(), kRunTimeoutMs);
    EXPECT_EQ(Log().last(), "Interrupted by user");
    EXPECT_EQ(Column(Model::kStatusColumn), (QStringList{"stopped", "", ""}));
    EXPECT_FALSE(gui->isVisible() || host.Progress().isVisible());
}

INSTANTIATE_TEST_SUITE_P(EitherWindow, ClosingTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Main" : "Progress"; });

// With two jobs each file's lines come as one block under its header, in the order of the table,
// and every row shows what became of its file, the reason in plain words; the log ends with the
// summary, and the failures can be shown alone. Interrupt ends every job of a run, and only that
// run.
TEST_F(WindowTest, TwoJobsMarkEveryRowAndEndWithTheSummary)
{
    const QStringList files = OpenWithFiles("Analyze=0\nLevel=1\nNewLevel=-2\n", 2, 2);
    WriteText(dir.File("bad.wav"), "no RIFF here");
    WriteText(dir.File("gone.wav"), "");
    Drop({Path("bad.wav"), Path("gone.wav")});
    std::filesystem::remove(dir.File("gone.wav"));
    // Interrupt pressed as the first file is taken, both jobs' files waiting for it.
    AtFile(0, [this] { gui->cmdIntrpt->click(); }, true);
    RunAll();
    EXPECT_EQ(Column(Model::kStatusColumn), (QStringList{"stopped", "stopped", "", ""}));
    EXPECT_EQ(Log().last(), "Interrupted by user");
    EXPECT_FALSE(ctx.stop->Requested());

    gui->SetFileJob(ProcessFile);
    const qsizetype before = Log().size();
    RunAll();
    QStringList headers = Log().mid(before).filter(QRegularExpression("^File \\d of 4$"));
    EXPECT_EQ(headers, (QStringList{"File 1 of 4", "File 2 of 4", "File 3 of 4", "File 4 of 4"}));
    EXPECT_EQ(Log().mid(before).indexOf(files[1]), Log().mid(before).indexOf("File 2 of 4") + 2);
    EXPECT_EQ(Column(Model::kStatusColumn), (QStringList{"done", "done", "failed", "failed"}));
    EXPECT_EQ(Column(Model::kGainColumn), (QStringList{"-2.00 dB", "-2.00 dB", "", ""}));
    EXPECT_EQ(Column(Model::kOutputColumn), (QStringList{"_song1.wav", "_song2.wav", "", ""}));
    EXPECT_EQ(Column(Model::kReasonColumn), (QStringList{"", "", "Not a valid wav file!", "File not found"}));
    EXPECT_TRUE(Log().last().startsWith("Files done: 2, skipped: 0, failed: 2, stopped: 0;")) << Log().last().toStdString();
    EXPECT_EQ(gui->fileCountLabel->text(), "4 files \u00b7 2 failed");
    QProgressBar* bar = host.Progress().barRun;
    EXPECT_EQ(bar->text(), "4 / 4");
    host.Progress().ShowProgress(170, 1000, 0.2);
    EXPECT_TRUE(bar->text().contains(QRegularExpression("^170 / 1000 \u00b7 \\d+:\\d\\d left$"))) << bar->text().toStdString();

    gui->failuresOnlyBox->click();
    for (int row = 0; row < 4; ++row) EXPECT_EQ(gui->resultsTable->isRowHidden(row), row < 2) << row;
}

// "Open With" hands files over with --open: they land in the table and nothing is processed
// until Go!, in the real program too. That first start stores the tag keys, whose boxes changed
// from their cleared design state, and none of the switches, which stayed as designed. Turning
// Analyze off takes Trim with it; turned on again, Trim comes back available, not ticked.
TEST_F(WindowTest, OpenedFilesLandInTheListWithoutARunAndAnalyzeOffTakesTrimWithIt)
{
    const std::string song = dir.File("song.wav");
    WriteAllBytes(song, BuildWav(WavLayout{}, Sine(440, 8000, 44100, 44100)));
    WriteText(dir.File("notes.txt"), "");
    const ParsedCommandLine parsed = ParseCommandLine(ctx, {"--open", song, dir.File("notes.txt")});
    ASSERT_TRUE(parsed.OpenInWindow);
    Open("", parsed.Sources);
    EXPECT_EQ(Files(), QStringList{QString::fromStdString(song)});
    EXPECT_EQ(Log(), QStringList{"1 file passed over: not audio"});
    EXPECT_FALSE(gui->Busy());
    EXPECT_EQ(gui->tbxPink->text() + " " + gui->tbxLead[0]->text(), "64.82 0.2");
    EXPECT_TRUE(gui->chkTrim->isChecked() && gui->chkTrim->isEnabled());
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Stored(std::to_string(i) + "ID3"), "1") << i;
    for (const char* key : {"Analyze", "Trim", "Loudness", "Target", "TruePeak"}) EXPECT_EQ(Stored(key), "<missing>") << key;
    EXPECT_EQ(gui->findChild<QComboBox*>("cboLoudness")->currentText() + gui->findChild<QLineEdit*>("tbxTarget")->text() + "|" +
                  gui->findChild<QLineEdit*>("tbxTruePeak")->text(), "rg1-18|");
    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_FALSE(ctx.settings.Trim || gui->chkTrim->isChecked() || gui->chkTrim->isEnabled());
    EXPECT_EQ(Stored("Analyze") + Stored("Trim") + " " + gui->lblRec[1]->text().toStdString(), "00 dB (ref. present level)");
    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_TRUE(gui->chkTrim->isEnabled() && !gui->chkTrim->isChecked());
    EXPECT_EQ(Stored("Analyze") + Stored("Trim") + " " + gui->lblRec[1]->text().toStdString(), "10 dB (ref. recommended level)");

    // The real program with --open: the window's first start writes the tag keys; then it waits
    // for Go! and processes nothing.
    RunningProgram program = StartCaptured(dir.Path().string(), VARNOOK_EXE, {"--open", song, "/enc0"},
                                           {{"DISPLAY", ":varnook-test"}, {"QT_QPA_PLATFORM", "offscreen"},
                                            {"VARNOOK_INI", dir.File("real.ini")}});
    for (int i = 0; i < 200 && !std::filesystem::exists(dir.File("real.ini")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(program.Pid(), SIGTERM);
    const CapturedRun run = program.Finish();
    EXPECT_FALSE(std::filesystem::exists(dir.File("_song.wav")));
    EXPECT_EQ(run.exitCode, 128 + SIGTERM) << run.out << run.err;
}

// At its least size, with the panel shown or not, the window shows every control whole, none
// over another; each has a name for screen readers, and a caption's mnemonic leads to a control.
TEST_F(WindowTest, AtItsLeastSizeEveryControlShowsWholeAndNamed)
{
    Open();
    for (const bool panel : {false, true}) {
        SCOPED_TRACE(panel ? "panel shown" : "panel hidden");
        gui->Frame1->setVisible(panel);
        gui->resize(gui->minimumSize());
        QApplication::processEvents();
        std::vector<std::pair<std::string, QRect>> shown;
        for (QWidget* parent : QWidgetList{gui->centralWidget(), gui->Frame1, gui->statusBar()})
        for (QWidget* widget : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const std::string name = widget->objectName().toStdString();
            if (!widget->isVisibleTo(gui.get()) || widget == gui->Frame1 || name.empty()) continue;
            const QRect at(widget->mapTo(gui.get(), QPoint(0, 0)), widget->size());
            const QSize needed = qobject_cast<QLineEdit*>(widget) ? widget->minimumSize() : widget->minimumSizeHint();
            EXPECT_TRUE(gui->rect().contains(at) && widget->size().expandedTo(needed) == widget->size()) << name;
            for (const auto& [other, otherAt] : shown) EXPECT_FALSE(at.intersects(otherAt)) << name << " over " << other;
            shown.emplace_back(name, at);
            const auto* label = qobject_cast<QLabel*>(widget);
            EXPECT_TRUE(!label || !label->text().contains('&') || label->buddy()) << name << " has no buddy";
            QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(widget);
            EXPECT_TRUE(widget->focusPolicy() == Qt::NoFocus || (reader && !reader->text(QAccessible::Name).isEmpty())) << name;
        }
        EXPECT_GT(shown.size(), panel ? 40u : 20u);
    }
}

// Where each mark may stand, in seconds: the trim step measures 50 ms windows, so within one
// window of the tone's edge.
constexpr double kToneFileSeconds = 15;
struct Mark { const char* name; double earliest, latest; std::optional<double> TrimPicture::*at; };
const Mark kMarks[] = {{"CutIn", 1.95, 2.0, &TrimPicture::CutIn}, {"FadeInEnd", 1.95, 2.05, &TrimPicture::FadeInEnd},
                       {"CutOut", 12.0, 12.05, &TrimPicture::CutOut}, {"FadeOutStart", 11.95, 12.05, &TrimPicture::FadeOutStart}};

// The marks the cut colour draws over the whole height of the plot: the first column of each and
// its width.
std::vector<std::pair<int, int>> CutMarks(const QImage& image, const QRect& plot)
{
    const QColor cut = ui::PlotPalette().color(QPalette::Highlight);  // the same on every theme
    std::vector<std::pair<int, int>> marks;
    for (int x = plot.left(); x <= plot.right(); ++x) {
        int rows = 0;
        for (int y = plot.top(); y <= plot.bottom(); ++y) rows += image.pixelColor(x, y) == cut;
        if (rows < plot.height()) continue;
        if (!marks.empty() && marks.back().first + marks.back().second == x) ++marks.back().second;
        else marks.emplace_back(x, 1);
    }
    return marks;
}

// Each file's strip shows where the trim step cut; the table keeps the picture of every file, and
// choosing a row shows it.
TEST_F(WindowTest, TheStripMarksWhereTheTrimStepCutAndTheTableKeepsEachPicture)
{
    const QStringList files = OpenWithFiles("", 2, 2, ToneBetweenSilences());
    RunAll();

    gui->resultsTable->selectRow(0);
    ui::LoudnessStrip& strip = *host.Progress().picLoudness;
    const TrimPicture& picture = strip.Picture();
    ASSERT_TRUE(picture.Complete);
    EXPECT_EQ(picture.SourcePath, files[0].toStdString());
    EXPECT_NEAR(picture.Seconds, kToneFileSeconds, 1.0 / 44100);
    // The whole file is measured for the strip, not only the two ends the searches reach, and
    // kept thinned.
    EXPECT_GE(picture.Windows.size(), kToneFileSeconds * 20);
    for (const Mark& mark : kMarks) {
        const double at = (picture.*mark.at).value_or(-1);  // -1: not found, before every mark
        EXPECT_TRUE(at >= mark.earliest && at <= mark.latest) << mark.name << " at " << at;
    }
    EXPECT_GE(strip.height(), 120);
    EXPECT_EQ(CutMarks(strip.grab().toImage(), ui::PlotArea(strip.rect(), strip.font())).size(), 2u);
    gui->resultsTable->selectRow(1);
    EXPECT_EQ(strip.Picture().SourcePath, files[1].toStdString());
}

// The pictures the real program writes without a display, one per source; Qt's start-up says nothing.
TEST(LoudnessPlot, WritesOnePngPerSourceWithTheCutsAtTheirColumns)
{
    TempDir dir;
    WriteText(dir.File("varnook.ini"), "[Values]\nAnalyze=0\nLevel=0\nTrim=1\nEncode=0\n");
    for (const char* name : {"one.wav", "two.wav"}) WriteAllBytes(dir.File(name), BuildWav(WavLayout{}, ToneBetweenSilences()));
    const CapturedRun run = RunCaptured(VARNOOK_EXE, {dir.File("one.wav"), dir.File("two.wav"), "/plot", dir.File("plots")},
                                        {{"VARNOOK_INI", dir.File("varnook.ini")}, {"XDG_RUNTIME_DIR", ""}});
    ASSERT_TRUE(run.exitCode == 0 && run.err.empty()) << run.out << run.err;
    for (const char* name : {"one.wav.png", "two.wav.png"}) {
        const QImage image(QString::fromStdString(dir.File("plots/") + name));
        ASSERT_EQ(image.size(), ui::kPlotSize) << name;
        const QRect plot = ui::PlotArea(image.rect(), QApplication::font());
        const auto marks = CutMarks(image, plot);
        ASSERT_EQ(marks.size(), 2u) << name;
        // 2 s and 12 s of 15, within a window.
        EXPECT_NEAR(marks[0].first, ui::TimeColumn(plot, 15, 2), plot.width() * 0.05 / 15 + 1) << name;
        EXPECT_NEAR(marks[1].first, ui::TimeColumn(plot, 15, 12), plot.width() * 0.05 / 15 + 1) << name;
    }
}

// Ten seconds over the plot's columns: 0 s on the first, the data's end on the last (a cut there
// is drawn inside the plot, not clipped off), each 2 px wide; each lead's shade on the silence's
// side of its cut, 1 s before the cut-in and 2 s after the cut-out; the curve only where windows
// were measured.
TEST(LoudnessPlot, TimeSpansThePlotLeadsAreShadedBesideTheirCutsAndGapsStayEmpty)
{
    const QPalette palette = ui::PlotPalette();
    const QColor base = palette.color(QPalette::Base);
    const struct { double cutIn, cutOut; QList<double> shaded, clear; } rows[]{{0, 10, {}, {5}}, {2, 6, {1.5, 7}, {0.5, 5, 9}}};
    for (const auto& row : rows) {
        TrimPicture picture;
        std::tie(picture.Seconds, picture.WindowSeconds, picture.CutIn, picture.CutOut, picture.LeadIn, picture.LeadOut) =
            std::tuple(10.0, 0.05, row.cutIn, row.cutOut, 1.0, 2.0);
        picture.Thresholds = {40, 40, 40, 40};  // far below the curve, at the plot's foot
        for (double at = 0; at < 10; at += 0.05)
            if (at < 1 || at >= 9) picture.Windows.push_back({at, 0});  // the middle not measured yet
        QImage image(ui::kPlotSize, QImage::Format_RGB32);
        QPainter painter(&image);
        ui::PaintTrimPicture(painter, image.rect(), picture, palette);
        painter.end();
        const QRect plot = ui::PlotArea(image.rect(), QApplication::font());
        const auto column = [&](double seconds) { return ui::TimeColumn(plot, 10, seconds); };
        EXPECT_EQ(std::pair(column(0), column(10)), std::pair(plot.left(), plot.right()));
        const auto marks = CutMarks(image, plot);
        ASSERT_EQ(marks.size(), 2u) << row.cutIn;
        EXPECT_EQ(marks[0], std::pair(column(row.cutIn), 2));
        EXPECT_EQ(marks[1], std::pair(std::min(column(row.cutOut), plot.right() - ui::kMarkWidth + 1), 2));
        const int lowRow = plot.top() + plot.height() * 3 / 4;
        for (const double at : row.shaded) EXPECT_NE(image.pixelColor(column(at), lowRow), base) << at;
        for (const double at : row.clear) EXPECT_EQ(image.pixelColor(column(at), lowRow), base) << at;
        // The curve at its level in the measured ends, nothing across the middle.
        const auto inked = [&](double at) {
            for (int y = plot.top(); y < plot.top() + plot.height() / 2; ++y)
                if (image.pixelColor(column(at), y) != base) return true;
            return false;
        };
        EXPECT_TRUE(inked(0.5) && inked(9.5) && !inked(5)) << row.cutIn;
    }
}

}  // namespace
}  // namespace varnook::test
