// The picture of the trim step's work: a generated recording with known silences (2 s of
// silence, 10 s of tone, 3 s of silence) goes through the trim step, and the marks must stand
// where the tone starts and ends, both in the progress window's strip and in the /plot PNGs that
// the real program writes without a display.
#include <gtest/gtest.h>

#include <QImage>

#include "base/context.h"
#include "settings/run_settings_file.h"
#include "control/pipeline.h"
#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "ui/frm_progress.h"
#include "ui/loudness_picture.h"
#include "ui/qt_host.h"

namespace varnook::test {
namespace {

constexpr int32_t kRate = 44100;
constexpr double kLength = 15;
constexpr const char* kSettings = "[Values]\nAnalyze=0\nLevel=0\nTrim=1\nEncode=0\n";

void WriteToneBetweenSilences(const std::string& path)
{
    WriteAllBytes(path, BuildWav(WavLayout{}, Concat(Concat(Silence(2 * kRate), Sine(1000, 16000, kRate, 10 * kRate)),
                                                     Silence(3 * kRate))));
}

// Where each mark may stand, in seconds: the trim step measures 50 ms windows, so within one
// window of the tone's edge. The two cuts come first: they are the solid marks of a picture.
struct Mark {
    const char* name;
    double earliest, latest;
    std::optional<double> TrimPicture::*at;
};
const Mark kMarks[] = {{"CutIn", 1.95, 2.0, &TrimPicture::CutIn},
                       {"CutOut", 12.0, 12.05, &TrimPicture::CutOut},
                       {"FadeInEnd", 1.95, 2.05, &TrimPicture::FadeInEnd},
                       {"FadeOutStart", 11.95, 12.05, &TrimPicture::FadeOutStart}};

// The columns that the cut colour fills from top to bottom (but for rows the file name covers)
// are the two cuts, each at its place on the time line.
void ExpectCutColumns(const QImage& image, QColor cutColour)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        int rows = 0;
        for (int y = 0; y < image.height(); ++y) rows += image.pixelColor(x, y) == cutColour;
        if (rows > image.height() * 9 / 10) columns.push_back(x);
    }
    ASSERT_EQ(columns.size(), 2u);
    const double pixelsPerSecond = (image.width() - 1) / kLength;
    for (size_t i = 0; i < columns.size(); ++i) {
        EXPECT_GE(columns[i], std::floor(kMarks[i].earliest * pixelsPerSecond)) << kMarks[i].name;
        EXPECT_LE(columns[i], std::ceil(kMarks[i].latest * pixelsPerSecond)) << kMarks[i].name;
    }
}

TEST(LoudnessPictureTest, TheStripMarksWhereTheTrimStepCut)
{
    TempDir dir;
    ui::QtHost host;
    Context ctx(host);
    ctx.settings.SettingsPath = dir.File("varnook.ini");
    WriteText(ctx.settings.SettingsPath, kSettings);
    LoadSettings(ctx);
    ctx.request.SourcePath = dir.File("tone.wav");
    WriteToneBetweenSilences(ctx.request.SourcePath);
    host.Progress().show();
    ProcessFile(ctx);

    ui::LoudnessStrip& strip = *host.Progress().picLoudness;
    const TrimPicture& picture = strip.Picture();
    ASSERT_TRUE(picture.Complete);
    EXPECT_NEAR(picture.Seconds, kLength, 1.0 / kRate);
    // The whole file is measured for the strip, not only the two ends the searches reach.
    EXPECT_GE(picture.Windows.size(), kLength * 20);
    for (const Mark& mark : kMarks) {
        ASSERT_TRUE(picture.*mark.at) << mark.name;
        EXPECT_GE(*(picture.*mark.at), mark.earliest) << mark.name;
        EXPECT_LE(*(picture.*mark.at), mark.latest) << mark.name;
    }
    ExpectCutColumns(strip.grab().toImage(), strip.palette().color(QPalette::Highlight));
}

TEST(LoudnessPictureTest, PlotWritesOnePngPerSourceWithTheCutsAtTheirColumns)
{
    TempDir dir;
    WriteText(dir.File("varnook.ini"), kSettings);
    for (const char* name : {"one.wav", "two.wav"}) WriteToneBetweenSilences(dir.File(name));
    const CapturedRun run = RunCaptured(VARNOOK_EXE, {dir.File("one.wav"), dir.File("two.wav"), "/plot", dir.File("plots")},
                                        {{"VARNOOK_INI", dir.File("varnook.ini")}});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const char* name : {"one.wav.png", "two.wav.png"}) {
        const QImage image(QString::fromStdString(dir.File("plots/") + name));
        ASSERT_EQ(image.size(), ui::kPlotSize) << name;
        ExpectCutColumns(image, ui::PlotPalette().color(QPalette::Highlight));
    }
}

}  // namespace
}  // namespace varnook::test
