// The progress window and the Qt host: the log, the caption and the list's size.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include "ui/frm_progress.h"
#include "ui/qt_host.h"

namespace varnook::test {
namespace {

TEST(ProgressWindowTest, FirstLogLineOrCaptionCreatesTheWindowHiddenAndKeepsThem)
{
    ui::QtHost host;
    host.SetCaption("Analyzing...");
    host.LogLine("Now processing:");
    host.LogLine("");
    const QListWidget& log = *host.Progress().lbxList;
    EXPECT_FALSE(host.Progress().isVisible());
    EXPECT_EQ(host.Progress().windowTitle(), "Analyzing...");
    ASSERT_EQ(log.count(), 2) << "an empty line is a line of its own";
    EXPECT_EQ(log.item(0)->text(), "Now processing:");
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
            EXPECT_TRUE(list.viewport()->rect().contains(list.visualItemRect(list.item(i))))
                << "line " << i << " out of view";
        }
    }
    EXPECT_GT(list.verticalScrollBar()->value(), 0) << "a full list has scrolled";
}

TEST(ProgressWindowTest, TheListCoversTheClientAreaAtAnySize)
{
    ui::frmProgress progress;
    progress.show();
    for (const QSize size : {QSize(600, 450), QSize(40, 30), QSize(320, 320)}) {
        progress.resize(size);
        EXPECT_EQ(progress.lbxList->geometry(), progress.rect()) << size.width();
    }
}

}  // namespace
}  // namespace varnook::test
