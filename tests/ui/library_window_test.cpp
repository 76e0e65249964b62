// The windows over a library: a dropped folder brings its sources, the More... panel stores
// SkipDone and Jobs, and a run marks every entry and fills the progress bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <filesystem>

#include "base/context.h"
#include "settings/ini_file.h"
#include "settings/run_settings_file.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/file_list_box.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace varnook::test {
namespace {

TEST(LibraryWindow, ADroppedFolderBringsItsSourcesAndARunMarksEachEntry)
{
    TempDir dir;
    ui::QtHost host;
    Context ctx{host};
    ctx.settings.SettingsPath = dir.File("varnook.ini");
    WriteText(ctx.settings.SettingsPath, "[Values]\nAnalyze=0\nLevel=1\nEncode=0\n");
    LoadSettings(ctx);
    const std::unique_ptr<ui::frmGUI> gui = ui::OpenWindows(host, ctx);
    gui->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(gui.get()));

    // The panel's two new controls store what they are set to.
    QTest::mouseClick(gui->cmdAbout, Qt::LeftButton);
    QTest::mouseClick(gui->chkSkip, Qt::LeftButton);
    gui->tbxJobs->setFocus(Qt::MouseFocusReason);
    gui->tbxJobs->setText("3");
    gui->tbxPink->setFocus(Qt::TabFocusReason);
    const auto stored = [&](const char* key) {
        return ReadIni(ctx.settings.SettingsPath, "Values", key, "-");
    };
    EXPECT_EQ(stored("SkipDone"), "1");
    EXPECT_EQ(stored("Jobs"), "3");
    QTest::mouseClick(gui->cmdClose, Qt::LeftButton);

    // An earlier output and a file that is no WAV sit among the sources.
    const std::filesystem::path lib = dir.Path() / "lib";
    std::filesystem::create_directory(lib);
    for (const char* name : {"b.wav", "a.wav"})
        WriteAllBytes((lib / name).string(), BuildWav(WavLayout{}, Sine(440, 8000, 44100, 44100)));
    WriteText((lib / "_a.wav").string(), "an earlier output");
    WriteText((lib / "bad.wav").string(), "no RIFF here");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(lib.string()))});
    QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(gui->lbxList->viewport(), &enter);
    QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(gui->lbxList->viewport(), &drop);
    std::string entries;
    for (int i = 0; i < gui->lbxList->count(); ++i) entries += gui->lbxList->item(i)->text().toStdString() + ",";
    const std::string folder = lib.string() + "/";
    ASSERT_EQ(entries, folder + "a.wav," + folder + "b.wav," + folder + "bad.wav,");

    // The second run passes over the two outputs the first made.
    for (const char* good : {"done", "skipped"}) {
        SCOPED_TRACE(good);
        QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(gui->lbxList->item(i)->data(Qt::UserRole).toString(), good);
        EXPECT_TRUE(gui->lbxList->item(2)->toolTip().startsWith("failed: Not a valid"))
            << gui->lbxList->item(2)->toolTip().toStdString();
        const QProgressBar* bar = host.Progress().barRun;
        EXPECT_TRUE(bar->isVisible() && bar->value() == 3 && bar->maximum() == 3);
    }
}

}  // namespace
}  // namespace varnook::test
