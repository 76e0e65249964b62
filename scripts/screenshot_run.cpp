// Takes the README's picture of Varnook at work (run by scripts/screenshot.sh under a virtual
// display with a window manager). It opens the windows as window mode does, drops four generated
// recordings on the list as a file manager would, presses Go!, and grabs the whole screen once
// the second file is trimmed: the list full, the log mid-run, the strip with that file's marks.
//   varnook_screenshot OUT.png WORK_FOLDER
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <string>

#include "base/context.h"
#include "settings/run_settings_file.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/file_list_box.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace {

using namespace varnook;
using namespace varnook::test;

constexpr int32_t kRate = 44100;
constexpr int kTrimmedFileToShow = 2;  // the picture is taken once this many files are trimmed
constexpr const char* kTrimDoneLine = "New EOF set";

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
    if (argc != 3) {
        std::fprintf(stderr, "usage: varnook_screenshot OUT.png WORK_FOLDER\n");
        return 2;
    }
    const QString out = argv[1];
    const std::string folder = argv[2];
    QApplication app(argc, argv);

    QStringList files;
    const char* names[] = {"01 Morning Walk.wav", "02 Harbour Lights.wav", "03 Slow Tide.wav",
                           "04 Last Ferry.wav"};
    for (int i = 0; i < static_cast<int>(std::size(names)); ++i) {
        const std::string path = folder + "/" + names[i];
        WriteAllBytes(path, BuildWav(WavLayout{}, Recording(static_cast<uint32_t>(100 * i + 1), 1.0 + 0.4 * i, 2.5)));
        files << QString::fromStdString(path);
    }

    ui::QtHost host;
    Context ctx(host);
    ctx.settings.SettingsPath = folder + "/varnook.ini";
    ctx.settings.SettingsSection = kSettingsSection;
    LoadSettings(ctx);
    const std::unique_ptr<ui::frmGUI> gui = ui::OpenWindows(host, ctx);
    // Side by side, as a user would arrange them, so neither hides the other.
    host.Progress().move(gui->frameGeometry().right() + 24, gui->y());
    emit gui->lbxList->FilesDropped(files);

    int trimmed = 0;
    QListWidget* log = host.Progress().lbxList;
    QObject::connect(log->model(), &QAbstractItemModel::rowsInserted, log, [&](const QModelIndex&, int row) {
        if (log->item(row)->text() != kTrimDoneLine || ++trimmed != kTrimmedFileToShow) return;
        // Let the windows repaint with the new picture, then grab and stop after this file.
        QTimer::singleShot(300, [&] {
            QApplication::primaryScreen()->grabWindow(0).save(out, "PNG");
            host.Progress().close();
        });
    });
    QTimer::singleShot(1000, gui->cmdGo, &QPushButton::click);
    return app.exec();
}
