// The progress window and the Qt host: the log, the caption, the window's size and state, and
// its closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include "ui/frm_progress.h"
#include "ui/qt_host.h"

namespace varnook::test {
namespace {

QStringList Lines(const QListWidget& list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i) lines << list.item(i)->text();
    return lines;
}

TEST(QtHostTest, FirstLogLineOrCaptionCreatesTheWindowHiddenAndKeepsThem)
{
    ui::QtHost host;
    host.SetCaption("Analyzing...");
    host.LogLine("Now processing:");
    host.LogLine("");
    const ui::frmProgress& progress = host.Progress();
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.windowTitle(), "Analyzing...");
    EXPECT_EQ(Lines(*progress.lbxList), (QStringList{"Now processing:", ""}))
        << "an empty line is a line of its own";
}

TEST(QtHostTest, ProgressWindowStateFollowsTheWindow)
{
    ui::QtHost host;
    EXPECT_EQ(host.ProgressWindowState(), WindowState::Normal) << "before the window exists";
    host.Progress().showMinimized();
    EXPECT_EQ(host.ProgressWindowState(), WindowState::Minimized);
    host.Progress().showMaximized();
    EXPECT_EQ(host.ProgressWindowState(), WindowState::Maximized);
    host.Progress().showNormal();
    EXPECT_EQ(host.ProgressWindowState(), WindowState::Normal);
}

TEST(ProgressWindowTest, OpensTitledAtItsLoadGeometry)
{
    ui::frmProgress progress;
    EXPECT_EQ(progress.windowTitle(), "Varnook Progress");
    EXPECT_EQ(progress.pos(), QPoint(0, 20));
    EXPECT_EQ(progress.size(), QSize(320, 320));
    EXPECT_EQ(progress.lbxList->objectName(), "lbxList");
}

TEST(ProgressWindowTest, TheLastLineStaysInViewAsTheLogGrows)
{
    ui::frmProgress progress;
    progress.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    QListWidget& list = *progress.lbxList;
    for (int i = 0; i < 300; ++i) {
        progress.LogLine(QString("line %1").arg(i));
        if (i % 50 == 0 || i == 299) {
            QApplication::processEvents();
            const QRect shown = list.visualItemRect(list.item(i));
            EXPECT_TRUE(list.viewport()->rect().contains(shown)) << "line " << i << " out of view";
        }
    }
    EXPECT_GT(list.verticalScrollBar()->value(), 0) << "a full list has scrolled";
    EXPECT_EQ(list.count(), 300);
}

TEST(ProgressWindowTest, TheListCoversTheClientAreaAtAnySize)
{
    ui::frmProgress progress;
    progress.show();
    for (const QSize size : {QSize(600, 450), QSize(40, 30), QSize(320, 320)}) {
        progress.resize(size);
        EXPECT_EQ(progress.lbxList->geometry(), progress.rect())
            << size.width() << "x" << size.height();
    }
}

TEST(ProgressWindowTest, ClosingIsNeverRefusedAndRemembered)
{
    ui::frmProgress progress;
    progress.show();
    EXPECT_FALSE(progress.Closed());
    EXPECT_TRUE(progress.close());
    EXPECT_TRUE(progress.Closed());
    EXPECT_FALSE(progress.isVisible());
}

}  // namespace
}  // namespace varnook::test
