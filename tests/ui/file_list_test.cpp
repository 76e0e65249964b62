// The file list and the run over it: drops, Delete, Go through the real pipeline, Interrupt,
// and what a run locks.
#include "window_fixture.h"

#include "support/wav_builder.h"

#include <QDropEvent>
#include <QTimer>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

namespace varnook::test {
namespace {

class FileListTest : public WindowTest {
protected:
    // Drops the paths on the list as a file manager does: one text/uri-list of file URLs.
    void Drop(const QStringList& paths, const QList<QUrl>& extraUrls = {})
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls + extraUrls);
        const QPointF where(10, 10);
        QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(gui->lbxList->viewport(), &enter);
        QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(gui->lbxList->viewport(), &drop);
    }

    QStringList Entries() const
    {
        QStringList entries;
        for (int i = 0; i < gui->lbxList->count(); ++i) entries << gui->lbxList->item(i)->text();
        return entries;
    }

    QStringList Log()
    {
        QStringList lines;
        const QListWidget* log = host.Progress().lbxList;
        for (int i = 0; i < log->count(); ++i) lines << log->item(i)->text();
        return lines;
    }

    // A short 16-bit mono sine, different per file, ready for the pipeline.
    QString MakeWav(const std::string& name, double frequency)
    {
        const std::string path = dir.File(name);
        WriteAllBytes(path, BuildWav(WavLayout{}, Sine(frequency, 8000, 44100, 22050)));
        return QString::fromStdString(path);
    }

    // Analysis only: quick, and it writes no file beside the sources.
    void AnalyzeOnly(RunSettings& settings)
    {
        settings.Analyze = true;
        settings.Amplify = false;
        settings.Trim = false;
        settings.Encode = false;
    }

    // The lines logged between "File i of n" and the next such line (or the end).
    static QStringList Block(const QStringList& log, const QString& header)
    {
        const qsizetype start = log.indexOf(header);
        if (start < 0) return {};
        qsizetype end = start + 1;
        while (end < log.size() && !log[end].startsWith("File ")) ++end;
        return log.mid(start, end - start);
    }
};

TEST_F(FileListTest, DropsAppendLocalFilesAndFoldersInDropOrder)
{
    Open();
    const QString a = MakeWav("a.wav", 440), b = MakeWav("b.wav", 550), c = MakeWav("c.wav", 660);
    const QString folder = QString::fromStdString(dir.Path().string());
    Drop({a, b, c});
    Drop({folder, a}, {QUrl("https://example.org/song.mp3")});
    EXPECT_EQ(Entries(), (QStringList{a, b, c, folder, a}));
}

TEST_F(FileListTest, ReleasingDeleteRemovesExactlyTheSelectedEntries)
{
    Open();
    Drop({"/music/1.wav", "/music/2.wav", "/music/3.wav", "/music/4.wav", "/music/5.wav"});
    gui->lbxList->item(1)->setSelected(true);
    gui->lbxList->item(3)->setSelected(true);
    QTest::keyPress(gui->lbxList, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(Entries().size(), 5) << "the press alone removes nothing";
    QTest::keyRelease(gui->lbxList, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(Entries(), (QStringList{"/music/1.wav", "/music/3.wav", "/music/5.wav"}));

    QTest::keyRelease(gui->lbxList, Qt::Key_Backspace);
    gui->lbxList->item(0)->setSelected(true);
    QTest::keyRelease(gui->lbxList, Qt::Key_Backspace);
    EXPECT_EQ(Entries().size(), 3) << "only Delete removes";
}

TEST_F(FileListTest, GoRunsEveryEntryThroughThePipelineInListOrder)
{
    Open([this](RunSettings& settings) { AnalyzeOnly(settings); });
    const QStringList files = {MakeWav("one.wav", 440), MakeWav("two.wav", 550),
                               MakeWav("three.wav", 660)};
    Drop(files);
    gui->lbxList->item(2)->setSelected(true);
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);

    const QStringList log = Log();
    for (int i = 0; i < 3; ++i) {
        const QStringList block = Block(log, QString("File %1 of 3").arg(i + 1));
        ASSERT_GE(block.size(), 4) << "no block for file " << i + 1;
        EXPECT_EQ(block[1], "Now processing:");
        EXPECT_EQ(block[2], files[i]);
        EXPECT_TRUE(block.contains("Analyzing...")) << block.join('|').toStdString();
        EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](const QString& line) {
            return line.startsWith("Recommended gain: ");
        }));
        EXPECT_EQ(block.last(), "") << "each file's block ends with an empty line";
    }
    EXPECT_LT(log.indexOf("File 1 of 3"), log.indexOf("File 2 of 3"));
    EXPECT_LT(log.indexOf("File 2 of 3"), log.indexOf("File 3 of 3"));
    EXPECT_FALSE(log.contains("Interrupted by user"));
    EXPECT_EQ(Entries(), files) << "a run removes no entry";
    EXPECT_TRUE(gui->lbxList->selectedItems().isEmpty());
    EXPECT_FALSE(gui->Busy());
}

TEST_F(FileListTest, InterruptDuringTheSecondFileFinishesItAndStopsBeforeTheThird)
{
    Open([this](RunSettings& settings) { AnalyzeOnly(settings); });
    const QStringList files = {MakeWav("one.wav", 440), MakeWav("two.wav", 550),
                               MakeWav("three.wav", 660)};
    Drop(files);
    int started = 0;
    host.onLine = [&](const std::string& line) {
        if (line == "Now processing:" && ++started == 2) {
            QTest::mouseClick(gui->cmdIntrpt, Qt::LeftButton);
        }
    };
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    host.onLine = nullptr;

    const QStringList log = Log();
    const QStringList second = Block(log, "File 2 of 3");
    ASSERT_GE(second.size(), 3);
    EXPECT_EQ(second[2], files[1]);
    EXPECT_EQ(second.last(), "") << "the file in hand is taken to its end";
    EXPECT_EQ(Block(log, "File 3 of 3"), (QStringList{"File 3 of 3", "Interrupted by user"}));
    EXPECT_FALSE(log.contains(files[2]));
    EXPECT_EQ(started, 2);
    EXPECT_FALSE(gui->Busy());
}

TEST_F(FileListTest, ARunLocksEverythingButTheListAndInterrupt)
{
    Open([this](RunSettings& settings) {
        AnalyzeOnly(settings);
        settings.Analyze = false;
    });
    gui->Frame1->show();
    const QStringList files = {MakeWav("one.wav", 440), MakeWav("two.wav", 550)};
    Drop(files);

    std::vector<std::string> enabledDuringRun;
    bool checked = false;
    host.onLine = [&](const std::string& line) {
        if (line != "Now processing:" || checked) return;
        checked = true;
        EXPECT_TRUE(gui->Busy());
        EXPECT_FALSE(gui->Frame1->isVisible()) << "a run shows the compact layout";
        for (QWidget* widget : gui->findChildren<QWidget*>()) {
            const bool isControl = widget->parentWidget() == gui.get() ||
                                   widget->parentWidget() == gui->Frame1;
            if (isControl && widget->isEnabled()) {
                enabledDuringRun.push_back(widget->objectName().toStdString());
            }
        }
        Drop({"/music/late.wav"});
        gui->lbxList->item(0)->setSelected(true);
        QTest::keyRelease(gui->lbxList, Qt::Key_Delete);
        EXPECT_EQ(Entries(), files) << "drops and Delete wait for the run to end";
        QTest::mouseClick(gui->chkLevel, Qt::LeftButton);
        EXPECT_FALSE(ctx.settings.Amplify) << "the options cannot change during a run";
    };
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    host.onLine = nullptr;

    ASSERT_TRUE(checked);
    std::sort(enabledDuringRun.begin(), enabledDuringRun.end());
    EXPECT_EQ(enabledDuringRun, (std::vector<std::string>{"cmdIntrpt", "lbxList"}));
    EXPECT_FALSE(gui->Busy());
    EXPECT_TRUE(gui->chkLevel->isEnabled());
    EXPECT_TRUE(gui->tbxNewLev->isEnabled());
    EXPECT_TRUE(gui->cmdGo->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isEnabled()) << "Trim stays locked while Analyze is off";

    Drop({"/music/late.wav"});
    EXPECT_EQ(Entries().size(), 3) << "drops are taken again once the run is over";
}

TEST_F(FileListTest, GoWithAnEmptyListLogsNothing)
{
    Open();
    gui->Frame1->show();
    const qsizetype before = Log().size();
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    EXPECT_EQ(Log().size(), before);
    EXPECT_FALSE(gui->Frame1->isVisible());
    EXPECT_TRUE(gui->cmdGo->isEnabled());
}

// Runs Qt's event loop as the program does after start-up, doing `start` first; false when the
// loop had to be ended from outside because closing the windows did not end it.
bool EventLoopEndsAfter(const std::function<void()>& start)
{
    bool timedOut = false;
    QTimer::singleShot(0, start);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(10000);
    QApplication::exec();
    return !timedOut;
}

TEST_F(FileListTest, ClosingTheProgressWindowClosesEveryWindowAndEndsTheProgram)
{
    Open();
    EXPECT_TRUE(EventLoopEndsAfter([this] { host.Progress().close(); }));
    EXPECT_FALSE(gui->isVisible());
    EXPECT_FALSE(host.Progress().isVisible());
}

TEST_F(FileListTest, ClosingTheProgressWindowDuringARunEndsTheProgramAfterTheFileInHand)
{
    Open([this](RunSettings& settings) { AnalyzeOnly(settings); });
    const QStringList files = {MakeWav("one.wav", 440), MakeWav("two.wav", 550)};
    Drop(files);
    host.onLine = [&](const std::string& line) {
        if (line == "Now processing:") host.Progress().close();
    };
    EXPECT_TRUE(EventLoopEndsAfter([this] { QTest::mouseClick(gui->cmdGo, Qt::LeftButton); }));
    host.onLine = nullptr;

    const QStringList log = Log();
    const QStringList first = Block(log, "File 1 of 2");
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first.last(), "") << "the file in hand is taken to its end";
    EXPECT_EQ(Block(log, "File 2 of 2"), (QStringList{"File 2 of 2", "Interrupted by user"}));
    EXPECT_FALSE(log.contains(files[1]));
    EXPECT_FALSE(gui->Busy());
    EXPECT_FALSE(gui->isVisible());
}

}  // namespace
}  // namespace varnook::test
