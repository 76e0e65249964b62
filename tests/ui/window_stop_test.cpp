// Closing the progress window while lame hangs ends lame at once, not when it chooses to end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "control/context.h"
#include "support/scoped_env.h"
#include "support/stand_in_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/file_list_box.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace varnook::test {
namespace {

TEST(WindowStop, ClosingTheProgressWindowEndsAHungEncoder)
{
    TempDir dir;
    const StandInEncoder hang(StandIn::Hang);
    const ScopedEnv path{"PATH", hang.SearchPathWithStandInFirst()};
    ui::QtHost host;
    Context ctx{host};
    ctx.settings.SettingsPath = dir.File("varnook.ini");
    WriteText(ctx.settings.SettingsPath, "[Values]\nAnalyze=0\nLevel=0\nTrim=0\nEncode=1\n");
    LoadSettings(ctx);
    WriteAllBytes(dir.File("song.wav"), BuildWav(WavLayout{}, Sine(440, 8000, 44100, 22050)));
    const std::unique_ptr<ui::frmGUI> gui = ui::OpenWindows(host, ctx);
    gui->lbxList->addItem(QString::fromStdString(dir.File("song.wav")));

    QTimer watch;  // the window is closed once lame has noted that it hangs
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!hang.Note("hung.pid").empty()) host.Progress().close();
    });
    watch.start(20);
    QTimer::singleShot(0, [&] { gui->cmdGo->click(); });
    QTimer::singleShot(10000, gui.get(), [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0) << "the loop had to be ended from outside";

    EXPECT_NE(::kill(std::atoi(hang.Note("hung.pid").c_str()), 0), 0) << "lame still runs";
    EXPECT_FALSE(std::filesystem::exists(dir.File("mp3.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("song.mp3")));
}

}  // namespace
}  // namespace varnook::test
