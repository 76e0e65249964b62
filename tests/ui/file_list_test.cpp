// The file list and the run over it: drops, Delete, Go through the real pipeline, Interrupt,
// what a run locks, and closing the progress window during a run.
#include "window_fixture.h"

#include "support/wav_builder.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace varnook::test {
namespace {

class FileListTest : public WindowTest {
protected:
    // Drops the paths on the list as a file manager does: a text/uri-list of file URLs.
    void Drop(const QStringList& paths, const QList<QUrl>& extraUrls = {})
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls + extraUrls);
        const QPoint where(10, 10);
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
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

    // The lines from "File i of n" up to the next such line or the end of the log.
    QStringList Block(const QString& header)
    {
        const QListWidget* log = host.Progress().lbxList;
        QStringList lines;
        for (int i = 0; i < log->count(); ++i) {
            const QString line = log->item(i)->text();
            if (line.startsWith("File ")) {
                if (!lines.isEmpty()) break;
                if (line != header) continue;
            }
            if (line == header || !lines.isEmpty()) lines << line;
        }
        return lines;
    }

    // Three short 16-bit sines in the test's folder, the list holding them, analysis only.
    QStringList OpenWithThreeFiles(bool analyze = true)
    {
        Open([analyze](RunSettings& settings) {
            settings.Analyze = analyze;
            settings.Amplify = settings.Trim = settings.Encode = false;
        });
        QStringList files;
        for (const char* name : {"one.wav", "two.wav", "three.wav"}) {
            WriteAllBytes(dir.File(name), BuildWav(WavLayout{}, Sine(440, 8000, 44100, 22050)));
            files << QString::fromStdString(dir.File(name));
        }
        Drop(files);
        return files;
    }
};

TEST_F(FileListTest, DropsAppendLocalFilesAndFoldersInDropOrderAndDeleteRemovesTheSelected)
{
    Open();
    const QString folder = QString::fromStdString(dir.Path().string());
    Drop({"/m/1.wav", "/m/2.wav", "/m/3.wav"});
    Drop({folder, "/m/1.wav"}, {QUrl("https://example.org/song.mp3")});
    EXPECT_EQ(Entries(), (QStringList{"/m/1.wav", "/m/2.wav", "/m/3.wav", folder, "/m/1.wav"}));

    gui->lbxList->item(1)->setSelected(true);
    gui->lbxList->item(3)->setSelected(true);
    QTest::keyRelease(gui->lbxList, Qt::Key_Backspace);
    EXPECT_EQ(Entries().size(), 5) << "only Delete removes";
    QTest::keyRelease(gui->lbxList, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(Entries(), (QStringList{"/m/1.wav", "/m/3.wav", "/m/1.wav"}));
}

TEST_F(FileListTest, GoRunsEveryEntryThroughThePipelineInListOrder)
{
    const QStringList files = OpenWithThreeFiles();
    gui->lbxList->item(2)->setSelected(true);
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);

    for (int i = 0; i < 3; ++i) {
        const QStringList block = Block(QString("File %1 of 3").arg(i + 1));
        ASSERT_GE(block.size(), 4) << "no block for file " << i + 1;
        EXPECT_EQ(block[1], "Now processing:");
        EXPECT_EQ(block[2], files[i]);
        EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](const QString& line) {
            return line.startsWith("Recommended gain: ");
        })) << block.join('|').toStdString();
        EXPECT_EQ(block.last(), "") << "each file's block ends with an empty line";
    }
    EXPECT_EQ(Entries(), files) << "a run removes no entry";
    EXPECT_TRUE(gui->lbxList->selectedItems().isEmpty());
}

TEST_F(FileListTest, InterruptDuringTheSecondFileFinishesItAndStopsBeforeTheThird)
{
    const QStringList files = OpenWithThreeFiles();
    int started = 0;
    host.onLine = [&](const std::string& line) {
        if (line == "Now processing:" && ++started == 2) {
            QTest::mouseClick(gui->cmdIntrpt, Qt::LeftButton);
        }
    };
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    host.onLine = nullptr;

    EXPECT_EQ(Block("File 2 of 3").last(), "") << "the file in hand is taken to its end";
    EXPECT_EQ(Block("File 3 of 3"), (QStringList{"File 3 of 3", "Interrupted by user"}));
    EXPECT_EQ(started, 2);
}

TEST_F(FileListTest, ARunLocksEverythingButTheListAndInterrupt)
{
    const QStringList files = OpenWithThreeFiles(false);
    gui->Frame1->show();
    QStringList enabledDuringRun;
    host.onLine = [&](const std::string& line) {
        if (line != "Now processing:" || !enabledDuringRun.isEmpty()) return;
        EXPECT_FALSE(gui->Frame1->isVisible()) << "a run shows the compact layout";
        for (QWidget* widget : gui->findChildren<QWidget*>()) {
            const QWidget* parent = widget->parentWidget();
            if ((parent == gui.get() || parent == gui->Frame1) && widget->isEnabled()) {
                enabledDuringRun << widget->objectName();
            }
        }
        Drop({"/m/late.wav"});
        gui->lbxList->item(0)->setSelected(true);
        QTest::keyRelease(gui->lbxList, Qt::Key_Delete);
        EXPECT_EQ(Entries(), files) << "drops and Delete wait for the run to end";
    };
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    host.onLine = nullptr;

    enabledDuringRun.sort();
    EXPECT_EQ(enabledDuringRun, (QStringList{"cmdIntrpt", "lbxList"}));
    EXPECT_TRUE(gui->chkLevel->isEnabled() && gui->tbxNewLev->isEnabled() && gui->cmdGo->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isEnabled()) << "Trim stays locked while Analyze is off";
    Drop({"/m/late.wav"});
    EXPECT_EQ(Entries().size(), 4) << "drops are taken again once the run is over";
}

// Runs Qt's event loop as the program does after start-up, doing `start` first; false when
// closing the windows did not end it and it had to be ended from outside.
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

TEST_F(FileListTest, ClosingTheProgressWindowEndsTheProgramAfterTheFileInHand)
{
    OpenWithThreeFiles();
    host.onLine = [&](const std::string& line) {
        if (line == "Now processing:") host.Progress().close();
    };
    EXPECT_TRUE(EventLoopEndsAfter([this] { QTest::mouseClick(gui->cmdGo, Qt::LeftButton); }));
    host.onLine = nullptr;

    EXPECT_EQ(Block("File 1 of 3").last(), "") << "the file in hand is taken to its end";
    EXPECT_EQ(Block("File 2 of 3"), (QStringList{"File 2 of 3", "Interrupted by user"}));
    EXPECT_FALSE(gui->isVisible());
    EXPECT_FALSE(gui->Busy());
}

}  // namespace
}  // namespace varnook::test
