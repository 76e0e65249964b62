// The picture of the trim step's work: a generated recording with known silences (2 s of
// silence, 10 s of tone, 3 s of silence) goes through the trim step, and the marks must stand
// where the tone starts and ends, both in the progress window's strip and in a /plot PNG that
// the real program writes without a display.
#include <gtest/gtest.h>

#include <QImage>

#include <optional>
#include <string>

#include "control/context.h"
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
constexpr double kToneStart = 2, kToneEnd = 12, kLength = 15;
// The trim step measures in 50 ms windows, so a cut may stand up to one window outside the tone.
constexpr double kWindow = 0.05;
constexpr const char* kSettings = "[Values]\nAnalyze=0\nLevel=0\nTrim=1\nEncode=0\n";

void WriteToneBetweenSilences(const std::string& path)
{
    const auto frames = [](double seconds) { return static_cast<size_t>(seconds * kRate); };
    WriteAllBytes(path, BuildWav(WavLayout{}, Concat(Concat(Silence(frames(kToneStart)),
                                                            Sine(1000, 16000, kRate, frames(kToneEnd - kToneStart))),
                                                     Silence(frames(kLength - kToneEnd)))));
}

// The columns of `image` that the cut mark's colour fills from top to bottom, but for a few
// rows the file name may cover.
std::vector<int> CutMarkColumns(const QImage& image, QColor cutColour)
{
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        int rows = 0;
        for (int y = 0; y < image.height(); ++y) rows += image.pixelColor(x, y) == cutColour;
        if (rows > image.height() * 9 / 10) columns.push_back(x);
    }
    return columns;
}

struct Mark {
    const char* name;
    double toneEdge;  // where the tone starts or ends
    double earliest;  // the window the mark may stand in: [toneEdge + earliest, toneEdge + latest]
    double latest;
    std::optional<double> TrimPicture::*at;
};

// The two cuts first: they are the solid marks a picture shows.
constexpr size_t kCutMarks = 2;
const Mark kMarks[] = {{"CutIn", kToneStart, -kWindow, 0, &TrimPicture::CutIn},
                       {"CutOut", kToneEnd, 0, kWindow, &TrimPicture::CutOut},
                       {"FadeInEnd", kToneStart, -kWindow, kWindow, &TrimPicture::FadeInEnd},
                       {"FadeOutStart", kToneEnd, -kWindow, kWindow, &TrimPicture::FadeOutStart}};

// Expects exactly one mark column per cut, each within its window of the tone's edge.
void ExpectCutColumns(const QImage& image, QColor cutColour)
{
    const std::vector<int> columns = CutMarkColumns(image, cutColour);
    ASSERT_EQ(columns.size(), kCutMarks);
    const double pixelsPerSecond = (image.width() - 1) / kLength;
    for (size_t i = 0; i < kCutMarks; ++i) {
        SCOPED_TRACE(kMarks[i].name);
        EXPECT_GE(columns[i], std::floor((kMarks[i].toneEdge + kMarks[i].earliest) * pixelsPerSecond));
        EXPECT_LE(columns[i], std::ceil((kMarks[i].toneEdge + kMarks[i].latest) * pixelsPerSecond));
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
    ui::frmProgress& progress = host.Progress();
    progress.show();
    ProcessFile(ctx);

    const TrimPicture& picture = progress.picLoudness->Picture();
    ASSERT_TRUE(picture.Complete);
    EXPECT_NEAR(picture.Seconds, kLength, 1.0 / kRate);
    for (const Mark& mark : kMarks) {
        SCOPED_TRACE(mark.name);
        ASSERT_TRUE(picture.*mark.at);
        EXPECT_GE(*(picture.*mark.at), mark.toneEdge + mark.earliest);
        EXPECT_LE(*(picture.*mark.at), mark.toneEdge + mark.latest);
    }
    // The step measured the whole file for the strip, not only the two ends it searches.
    EXPECT_GE(picture.Windows.size(), static_cast<size_t>(kLength / kWindow));
    ExpectCutColumns(progress.picLoudness->grab().toImage(), progress.picLoudness->palette().color(QPalette::Highlight));
}

TEST(LoudnessPictureTest, PlotWritesOnePngPerSourceWithTheCutsAtTheirColumns)
{
    TempDir dir;
    WriteText(dir.File("varnook.ini"), kSettings);
    const std::string plots = dir.File("plots");
    for (const char* name : {"one.wav", "two.wav"}) WriteToneBetweenSilences(dir.File(name));
    const CapturedRun run = RunCaptured(VARNOOK_EXE, {dir.File("one.wav"), dir.File("two.wav"), "/plot", plots},
                                        {{"VARNOOK_INI", dir.File("varnook.ini")}});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const char* name : {"one.wav.png", "two.wav.png"}) {
        SCOPED_TRACE(name);
        const QImage image(QString::fromStdString(plots + "/" + name));
        ASSERT_EQ(image.size(), ui::kPlotSize);
        ExpectCutColumns(image, ui::PlotPalette().color(QPalette::Highlight));
    }
}

}  // namespace
}  // namespace varnook::test
