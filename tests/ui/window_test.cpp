// The windows as a user meets them: what the main window shows and stores on opening, the option
// handlers and the More... panel, drops and Delete, and runs through the real pipeline over
// files and a dropped folder, with Interrupt, the busy lock and closing the progress window;
// and the picture of the trim step's work, in the progress window and in /plot's PNGs.
#include <gtest/gtest.h>

// The whole widget module: the tests reach into most kinds of control the windows hold.
#include <QTest>
#include <QtWidgets>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "base/context.h"
#include "formats/formats.h"
#include "io/numbers.h"
#include "settings/ini_file.h"
#include "settings/key_table.h"
#include "settings/run_settings_file.h"
#include "support/captured_run.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/file_list_box.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace varnook::test {
namespace {

QStringList Texts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

// 2 s of silence, 10 s of tone, 3 s of silence: the trim step's marks belong at the tone's edges.
void WriteToneBetweenSilences(const std::string& path)
{
    const std::vector<int16_t> tone = Concat(Silence(2 * 44100), Sine(1000, 16000, 44100, 10 * 44100));
    WriteAllBytes(path, BuildWav(WavLayout{}, Concat(tone, Silence(3 * 44100))));
}

class WindowTest : public ::testing::Test {
protected:
    // Opens the windows over the settings file as start-up does, from `settings` if given.
    void Open(const std::string& settings = "")
    {
        ctx.settings.SettingsPath = dir.File("varnook.ini");
        ctx.settings.SettingsSection = kSettingsSection;
        if (!settings.empty()) WriteText(ctx.settings.SettingsPath, "[Values]\n" + settings);
        LoadSettings(ctx);
        gui = ui::OpenWindows(host, ctx);
        gui->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(gui.get()));
    }

    // The value stored under `key`, or "<missing>".
    std::string Stored(const std::string& key) const
    {
        return ReadIni(ctx.settings.SettingsPath, kSettingsSection, key, "<missing>");
    }

    // Replaces a text box's text by typing, leaving the focus in the box.
    static void Type(QLineEdit* box, const QString& text)
    {
        box->setFocus(Qt::MouseFocusReason);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }

    // Drops paths (or, with a scheme, other URLs) on the list as a file manager does.
    void Drop(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromUserInput(path);
        data.setUrls(urls);
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gui->lbxList->viewport(), &enter);
        QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gui->lbxList->viewport(), &drop);
    }

    QStringList Entries() const { return Texts(gui->lbxList); }
    QStringList Log() { return Texts(host.Progress().lbxList); }

    // Lets the test step in whenever a line is logged, as a user watching the log would.
    void OnLine(const std::function<void(const QString&)>& act)
    {
        QListWidget* log = host.Progress().lbxList;
        QObject::connect(log->model(), &QAbstractItemModel::rowsInserted, log,
                         [log, act](const QModelIndex&, int row) { act(log->item(row)->text()); });
    }

    // Three short 16-bit sines in the test's folder and the list holding them; no amplifying or
    // encoding, `jobs` files at once, the other switches as given.
    QStringList OpenWithThreeFiles(const std::string& switches, int jobs = 1)
    {
        Open("Level=0\nEncode=0\nJobs=" + std::to_string(jobs) + "\n" + switches);
        QStringList files;
        for (const char* name : {"one.wav", "two.wav", "three.wav"}) {
            WriteAllBytes(dir.File(name), BuildWav(WavLayout{}, Sine(440, 8000, 44100, 22050)));
            files << QString::fromStdString(dir.File(name));
        }
        Drop(files);
        return files;
    }

    TempDir dir;
    ui::QtHost host;
    Context ctx{host};
    std::unique_ptr<ui::frmGUI> gui;
};

TEST_F(WindowTest, FirstStartStoresTheTagKeysAndAnalyzeOffTakesTrimWithIt)
{
    Open();
    EXPECT_EQ(gui->tbxPink->text() + " " + gui->tbxLead[0]->text(), "64.82 0.2");
    EXPECT_TRUE(gui->chkTrim->isChecked() && gui->chkTrim->isEnabled());
    // The tag boxes changed from their cleared design state, so each stored itself; the
    // switches stayed as designed and stored nothing.
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Stored(std::to_string(i) + "ID3"), "1") << i;
    for (const char* key : {"Analyze", "Trim", "Loudness", "Target", "TruePeak"})
        EXPECT_EQ(Stored(key), "<missing>") << key;
    EXPECT_EQ(gui->cboLoudness->currentText() + gui->tbxTarget->text() + "|" + gui->tbxTruePeak->text(), "rg1-18|");

    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_FALSE(ctx.settings.Trim || gui->chkTrim->isChecked() || gui->chkTrim->isEnabled());
    EXPECT_EQ(Stored("Analyze") + Stored("Trim"), "00");
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. present level)");

    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_EQ(Stored("Analyze"), "1");
    EXPECT_TRUE(gui->chkTrim->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isChecked()) << "Trim comes back available, not ticked";
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. recommended level)");
}

// Text boxes take their value when the focus leaves them, which a button's click does before the
// click runs. Default resets and stores only the analysis parameters; the other boxes and the
// switches of the More... panel store what is typed or picked, numbers only in the locale's own
// notation and within their key's range (anything else puts the previous value back).
TEST_F(WindowTest, DefaultAndTheMorePanel)
{
    Open("PinkRef=80\nRmsPercent=0.5\nRmsDiff=10\n");
    gui->Frame1->show();
    Type(gui->tbxNewLev, "-4");
    double seenAtClick = 0;
    QObject::connect(gui->cmdDefault, &QPushButton::clicked, gui.get(),
                     [this, &seenAtClick] { seenAtClick = ctx.settings.NewLevel; });
    QTest::mouseClick(gui->cmdDefault, Qt::LeftButton);
    EXPECT_EQ(seenAtClick, -4);
    EXPECT_EQ(gui->tbxPink->text() + " " + gui->tbxPercent->text() + " " + gui->tbxDiff->text(),
              "64.82 0.95 30");
    EXPECT_EQ(Stored("PinkRef") + " " + Stored("RmsPercent") + " " + Stored("RmsDiff"), "64.82 0.95 30");
    EXPECT_EQ(Stored("NewLevel"), "-4");
    QTest::mouseClick(gui->chkSkip, Qt::LeftButton);
    gui->cboLoudness->setCurrentIndex(1);
    emit gui->cboLoudness->activated(1);
    EXPECT_EQ(Stored("SkipDone") + " " + Stored("Loudness"), "1 r128");

    // What a box shows and what is stored once the focus leaves it: a few notations, then for
    // every number row of the key table its top, beyond its top, and no number. A value refused
    // (nothing stored below) is marked as it is typed, the tooltip saying the range, and gives way
    // to the value the field keeps, in the box and in the file.
    struct Row { QLineEdit* box; std::string key, typed; std::optional<std::string> stored; const char* locale = "C"; };
    std::vector<Row> rows{{gui->tbxLevel[0], "0Level", "030", "30"}, {gui->tbxLead[0], "0Lead", "-3", "-3"},
                          {gui->tbxTruePeak, "TruePeak", "-1.5", "-1.5"}, {gui->tbxTruePeak, "TruePeak", "", ""},
                          {gui->tbxPink, "PinkRef", "70,5", "70,5", kCommaLocale},
                          {gui->tbxPink, "PinkRef", "1.5", {}, kCommaLocale}};
    // The codec rows have no box in the window: the settings file and the keys set them.
    const std::set<std::string_view> noBoxYet{"FlacLevel", "OpusBitrate", "VorbisQuality"};
    for (const KeyRow& key : KeyTable()) {
        if (key.Kind != KeyKind::Number || noBoxYet.contains(key.SettingsKey)) continue;
        const std::string name(key.SettingsKey), top = FormatGeneral(key.Range.High, '.');
        for (const std::string& refused : {FormatGeneral(key.Range.High + 1, '.'), std::string("1x")})
            rows.push_back({gui->BoxOf(key), name, refused, {}});
        rows.push_back({gui->BoxOf(key), name, top, top});
    }
    const QColor plain = gui->tbxArg->palette().color(QPalette::Base);
    for (const Row& row : rows) {
        const ScopedLocale locale(row.locale);
        if (!locale.Active()) GTEST_SKIP() << "no " << row.locale;
        ctx.decimalSeparator = FindDecimalSeparator();
        ASSERT_NE(row.box, nullptr) << row.key;
        const KeyRow& key =
            *std::find_if(KeyTable().begin(), KeyTable().end(), [&](auto& k) { return k.SettingsKey == row.key; });
        const std::string before = FieldText(key, ctx.decimalSeparator, ctx.settings, ctx.request);
        const QString range = QString::fromStdString(RangeText(key.Range, ctx.decimalSeparator));
        Type(row.box, QString::fromStdString(row.typed));
        EXPECT_EQ(row.box->palette().color(QPalette::Base) != plain, !row.stored) << row.key << " " << row.typed;
        EXPECT_EQ(row.box->toolTip().contains(range), !row.stored) << row.key << " " << row.typed;
        gui->tbxArg->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(row.box->text().toStdString() + " " + Stored(row.key),
                  row.stored ? row.typed + " " + *row.stored : before + " " + before) << row.key << " " << row.typed;
        EXPECT_EQ(row.box->palette().color(QPalette::Base), plain);
    }
}

// A dropped folder brings its sources but not an earlier output, and a run marks each entry:
// the second passes over what the first made.
TEST_F(WindowTest, ADroppedFolderBringsItsSourcesAndARunMarksEachEntry)
{
    Open("Analyze=0\nLevel=1\nEncode=0\nSkipDone=1\n");
    const std::string lib = dir.File("lib");
    std::filesystem::create_directory(lib);
    for (const char* name : {"/b.wav", "/a.wav"})
        WriteAllBytes(lib + name, BuildWav(WavLayout{}, Sine(440, 8000, 44100, 44100)));
    WriteText(lib + "/_a.wav", "an earlier output");
    WriteText(lib + "/bad.wav", "no RIFF here");
    Drop({QString::fromStdString(lib)});
    const QString folder = QString::fromStdString(lib + "/");
    ASSERT_EQ(Entries(), (QStringList{folder + "a.wav", folder + "b.wav", folder + "bad.wav"}));
    for (const char* good : {"done", "skipped"}) {
        SCOPED_TRACE(good);
        QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(gui->lbxList->item(i)->data(Qt::UserRole).toString(), good);
        EXPECT_EQ(gui->lbxList->item(2)->toolTip().left(19), "failed: Not a valid");
        const QProgressBar* bar = host.Progress().barRun;
        EXPECT_TRUE(bar->isVisible() && bar->value() == 3 && bar->maximum() == 3);
    }
}

// A drop takes every format of the table, loose in any letter case or found in a folder (but
// not what a source there would write), each path once; what is not a source or already listed
// is passed over, and the log counts it.
TEST_F(WindowTest, ADropTakesEveryFormatOfTheTableOnce)
{
    Open();
    const std::string lib = dir.File("lib/");
    std::filesystem::create_directory(lib);
    QStringList walked, loose;
    for (const Format& format : Formats()) {
        const std::string ext(format.Ext), name = ext.substr(1) + ext;  // "flac.flac": no output of another
        WriteText(lib + name, "");
        WriteText(lib + ext.substr(1) + ".mp3", "");  // what an earlier run made of it, or a source
        walked << QString::fromStdString(lib + name);
        loose << QString::fromStdString("/m/song" + ext).toUpper();
    }
    WriteText(lib + "notes.txt", "");
    walked.sort();
    Drop(QStringList{QString::fromStdString(lib)} + loose + QStringList{"/m/notes.txt", walked[0], loose[0]});
    EXPECT_EQ(Entries(), walked + loose);
    EXPECT_EQ(Log(), (QStringList{"1 file passed over: not audio", "2 files passed over: already in the list"}));
}

// A run with Analyze off (which took Trim with it on loading), watched as a user would: the
// controls during the first file, then Interrupt pressed during the second; then the list.
TEST_F(WindowTest, ARunLocksAllButTheListAndInterruptThenTheListTakesDropsAndDelete)
{
    const QStringList files = OpenWithThreeFiles("Analyze=0\nTrim=1\n");
    EXPECT_EQ(Stored("Trim"), "0");
    QStringList enabledDuringRun;
    int started = 0;
    OnLine([&](const QString& line) {
        if (line != "Now processing:" || ++started > 2) return;
        if (started == 2) return QTest::mouseClick(gui->cmdIntrpt, Qt::LeftButton);
        for (QWidget* widget : gui->findChildren<QWidget*>())
            if (widget->isEnabled() && (widget->parentWidget() == gui.get() || widget->parentWidget() == gui->Frame1))
                enabledDuringRun << widget->objectName();
        Drop({"/m/late.wav"});
        gui->lbxList->item(0)->setSelected(true);
        QTest::keyRelease(gui->lbxList, Qt::Key_Delete);
        EXPECT_EQ(Entries(), files) << "drops and Delete wait for the run to end";
    });
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);

    enabledDuringRun.sort();
    EXPECT_EQ(enabledDuringRun, (QStringList{"cmdIntrpt", "lbxList"}));
    // The file in hand is taken to its end (its closing empty line), then the run stops.
    EXPECT_EQ(Log().filter("Now processing:").size(), 2);
    EXPECT_EQ(Log().mid(Log().size() - 3), (QStringList{"", "File 3 of 3", "Interrupted by user"}));
    EXPECT_TRUE(gui->chkLevel->isEnabled() && gui->cmdGo->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isEnabled()) << "Trim stays locked while Analyze is off";

    // Once the run is over: local files are appended in drop order, other URLs are left out,
    // and Delete removes the selected entries.
    Drop({"https://example.org/song.mp3", "/m/late.wav"});
    EXPECT_EQ(Entries(), files + (QStringList{"/m/late.wav"}));
    gui->lbxList->clearSelection();
    gui->lbxList->item(0)->setSelected(true);
    gui->lbxList->item(3)->setSelected(true);
    QTest::keyRelease(gui->lbxList, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(Entries(), (QStringList{files[1], files[2]}));
}

TEST_F(WindowTest, ClosingTheProgressWindowEndsTheProgramAfterTheFileInHand)
{
    OpenWithThreeFiles("Analyze=1\nTrim=0\n");
    OnLine([this](const QString& line) {
        if (line != "Now processing:") return;
        host.Progress().close();
        // At once, so that a step that waits (a hung lame, a long analysis) ends now.
        EXPECT_TRUE(ctx.stop->Requested());
    });
    // Qt's event loop runs as after start-up; only closing the windows may end it.
    QTimer::singleShot(0, [this] { QTest::mouseClick(gui->cmdGo, Qt::LeftButton); });
    QTimer::singleShot(10000, gui.get(), [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "the loop had to be ended from outside";

    EXPECT_EQ(Log().filter("Now processing:").size(), 1);
    EXPECT_EQ(Log().mid(Log().size() - 3), (QStringList{"", "File 2 of 3", "Interrupted by user"}));
    EXPECT_FALSE(gui->isVisible() || gui->Busy());
}

// With two jobs a file's lines come as one block under its header once the file is done, and
// Interrupt ends every job of that run without stopping the next run.
TEST_F(WindowTest, TwoJobsLogEachFileWholeAndInterruptEndsOnlyItsRun)
{
    const QStringList files = OpenWithThreeFiles("Analyze=0\n", 2);
    OnLine([this](const QString& line) {
        if (line.startsWith("File ")) QTest::mouseClick(gui->cmdIntrpt, Qt::LeftButton);
    });
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    const qsizetype first = files.indexOf(Log().value(2));
    ASSERT_GE(first, 0) << Log().join("|").toStdString();
    EXPECT_EQ(Log().mid(0, 2), (QStringList{QString("File %1 of 3").arg(first + 1), "Now processing:"}));
    EXPECT_EQ(gui->lbxList->item(static_cast<int>(first))->data(Qt::UserRole).toString(), "done");
    EXPECT_EQ(Log().last(), "Interrupted by user");
    EXPECT_FALSE(ctx.stop->Requested());
}

// Where each mark may stand, in seconds: the trim step measures 50 ms windows, so within one
// window of the tone's edge.
constexpr double kToneFileSeconds = 15;
struct Mark { const char* name; double earliest, latest; std::optional<double> TrimPicture::*at; };
const Mark kMarks[] = {{"CutIn", 1.95, 2.0, &TrimPicture::CutIn},
                       {"CutOut", 12.0, 12.05, &TrimPicture::CutOut},
                       {"FadeInEnd", 1.95, 2.05, &TrimPicture::FadeInEnd},
                       {"FadeOutStart", 11.95, 12.05, &TrimPicture::FadeOutStart}};

// The columns that the cut colour fills from top to bottom (but for rows the file name covers).
std::vector<int> CutColumns(const QImage& image, QColor cutColour)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        int rows = 0;
        for (int y = 0; y < image.height(); ++y) rows += image.pixelColor(x, y) == cutColour;
        if (rows > image.height() * 9 / 10) columns.push_back(x);
    }
    return columns;
}

TEST_F(WindowTest, TheStripMarksWhereTheTrimStepCut)
{
    Open("Level=0\nEncode=0\n");
    WriteToneBetweenSilences(dir.File("tone.wav"));
    Drop({QString::fromStdString(dir.File("tone.wav"))});
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);

    ui::LoudnessStrip& strip = *host.Progress().picLoudness;
    const TrimPicture& picture = strip.Picture();
    ASSERT_TRUE(picture.Complete);
    EXPECT_NEAR(picture.Seconds, kToneFileSeconds, 1.0 / 44100);
    // The whole file is measured for the strip, not only the two ends the searches reach.
    EXPECT_GE(picture.Windows.size(), kToneFileSeconds * 20);
    for (const Mark& mark : kMarks) {
        ASSERT_TRUE(picture.*mark.at) << mark.name;
        EXPECT_GE(*(picture.*mark.at), mark.earliest) << mark.name;
        EXPECT_LE(*(picture.*mark.at), mark.latest) << mark.name;
    }
    EXPECT_EQ(CutColumns(strip.grab().toImage(), strip.palette().color(QPalette::Highlight)).size(), 2u);
}

// The pictures the real program writes without a display, one per source.
TEST(LoudnessPlot, WritesOnePngPerSourceWithTheCutsAtTheirColumns)
{
    TempDir dir;
    WriteText(dir.File("varnook.ini"), "[Values]\nAnalyze=0\nLevel=0\nTrim=1\nEncode=0\n");
    for (const char* name : {"one.wav", "two.wav"}) WriteToneBetweenSilences(dir.File(name));
    const CapturedRun run = RunCaptured(VARNOOK_EXE, {dir.File("one.wav"), dir.File("two.wav"), "/plot", dir.File("plots")},
                                        {{"VARNOOK_INI", dir.File("varnook.ini")}});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const char* name : {"one.wav.png", "two.wav.png"}) {
        const QImage image(QString::fromStdString(dir.File("plots/") + name));
        ASSERT_EQ(image.size(), ui::kPlotSize) << name;
        EXPECT_EQ(CutColumns(image, ui::PlotPalette().color(QPalette::Highlight)).size(), 2u) << name;
    }
}

// Ten seconds over the PNG's 1200 columns, 1199 apart: 0 s on the first, the data's end on the
// last (a cut there is drawn, not clipped off), and each lead's shade on the silence's side of
// its cut, 1 s before the cut-in and 2 s after the cut-out. Row 150 is clear of the thresholds.
TEST(LoudnessPlot, TimeSpansEveryColumnAndTheLeadsAreShadedBesideTheirCuts)
{
    const QPalette palette = ui::PlotPalette();
    const struct {
        double cutIn, cutOut;
        std::vector<int> cuts, shaded, clear;
    } rows[] = {{0, 10, {0, 1199}, {}, {600}}, {2, 6, {240, 719}, {180, 839}, {60, 600, 1079}}};
    for (const auto& row : rows) {
        TrimPicture picture;
        std::tie(picture.Seconds, picture.CutIn, picture.CutOut, picture.LeadIn, picture.LeadOut) =
            std::tuple(10.0, row.cutIn, row.cutOut, 1.0, 2.0);
        QImage image(ui::kPlotSize, QImage::Format_RGB32);
        QPainter painter(&image);
        ui::PaintTrimPicture(painter, image.rect(), picture, palette);
        painter.end();
        EXPECT_EQ(CutColumns(image, palette.color(QPalette::Highlight)), row.cuts);
        for (const int x : row.shaded) EXPECT_NE(image.pixelColor(x, 150), palette.color(QPalette::Base)) << x;
        for (const int x : row.clear) EXPECT_EQ(image.pixelColor(x, 150), palette.color(QPalette::Base)) << x;
    }
}

}  // namespace
}  // namespace varnook::test
