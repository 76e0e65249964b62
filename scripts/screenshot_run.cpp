// Takes the README's pictures of Varnook (run by scripts/screenshot.sh under a virtual display
// with a window manager). It opens the windows as window mode does and grabs the whole screen:
//   empty  the windows as a first start shows them;
//   run    after a two-job run over five recordings added as a drop would add them, one of
//          which vanished before its turn: the table with every row's result, the log with the
//          summary line, a strip per job.
//   varnook_screenshot OUT.png WORK_FOLDER empty|run
#include <QApplication>
#include <QIcon>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/context.h"
#include "settings/run_settings_file.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace {

using namespace varnook;
using namespace varnook::test;

constexpr int32_t kRate = 44100;
// Time for the window manager to frame the windows and for them to repaint before a grab.
constexpr int kSettleMs = 1000;

// A recording with silence at both ends and a body whose loudness swells and falls, so the
// strip has something to show between the marks.
std::vector<int16_t> Recording(uint32_t seed, double leadSeconds, double tailSeconds)
{
    std::vector<int16_t> samples = Silence(static_cast<size_t>(leadSeconds * kRate));
    const int levels[] = {300, 1500, 5000, 9000, 7000, 11000, 8000, 4000, 9000, 2500, 600};
    for (const int level : levels) {
        std::vector<int16_t> piece = Noise(seed++, level / 3, kRate);
        const std::vector<int16_t> tone = Sine(220.0 + level / 50.0, level, kRate, kRate);
        for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<int16_t>((piece[i] + tone[i]) / 2);
        samples = Concat(std::move(samples), piece);
    }
    return Concat(std::move(samples), Silence(static_cast<size_t>(tailSeconds * kRate)));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[3] : "";
    if (mode != "empty" && mode != "run") {
        std::fprintf(stderr, "usage: varnook_screenshot OUT.png WORK_FOLDER empty|run\n");
        return 2;
    }
    const QString out = argv[1];
    const std::string folder = argv[2];
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/icons/varnook.png"));

    ui::QtHost host;
    Context ctx(host);
    ctx.settings.SettingsPath = folder + "/varnook.ini";
    ctx.settings.SettingsSection = kSettingsSection;
    WriteText(ctx.settings.SettingsPath, "[Values]\nJobs=2\n");
    LoadSettings(ctx);
    const std::unique_ptr<ui::frmGUI> gui = ui::OpenWindows(host, ctx);
    const auto grab = [&] {
        QApplication::primaryScreen()->grabWindow(0).save(out, "PNG");
        host.Progress().close();
    };
    if (mode == "empty") {
        QTimer::singleShot(kSettleMs, grab);
        return app.exec();
    }

    const std::string music = folder + "/Music";
    std::filesystem::create_directories(music + "/Side B");
    const char* names[] = {"01 Morning Walk.wav", "02 Harbour Lights.wav", "Side B/03 Slow Tide.wav",
                           "Side B/04 Last Ferry.wav", "Side B/05 Night Train.wav"};
    for (int i = 0; i < static_cast<int>(std::size(names)); ++i) {
        const std::string path = music + "/" + names[i];
        WriteAllBytes(path, BuildWav(WavLayout{}, Recording(static_cast<uint32_t>(100 * i + 1), 1.0 + 0.4 * i, 2.5)));
    }
    gui->AddSources({QString::fromStdString(music)});
    // Moved away after it was listed, as happens to a file in a library being tidied.
    std::filesystem::remove(music + "/Side B/04 Last Ferry.wav");
    QObject::connect(gui.get(), &ui::frmGUI::RunEnded, [&] { QTimer::singleShot(kSettleMs / 2, grab); });
    QTimer::singleShot(kSettleMs, gui->cmdGo, &QPushButton::click);
    return app.exec();
}
