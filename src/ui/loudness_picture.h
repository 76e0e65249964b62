// The picture of what the trim step measured of a file: the level of each 50 ms window over
// time, the four thresholds, the cut and fade marks and the lead silence, with a time axis, a dB
// axis, a legend and the file's name above the plot. One painter draws it into the progress
// window's strips and into the /plot PNGs, so the two always agree.
#pragma once

#include "base/trim_picture.h"
#include "base/host.h"
#include "cli/console_host.h"

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <chrono>
#include <cstddef>

class QPainter;

namespace varnook::ui {

// The size of a /plot PNG.
inline constexpr QSize kPlotSize{1200, 300};
// The least width of a cut or fade mark, in logical pixels: a single pixel is lost at an edge.
inline constexpr int kMarkWidth = 2;

// Draws `picture` over all of `area` in the colours of `palette` and the painter's font: the
// name and the legend in a row above the plot, the dB axis to its left and the time axis below
// it. Time runs left to right over the plot's whole width (the data length before the trim);
// louder windows stand higher, and only measured stretches are drawn (the step measures the two
// ends before the middle). The cut marks are solid in the palette's highlight colour, the fade
// marks dashed in its link colour, each kMarkWidth wide over the plot's height; the lead silence
// is shaded; marks the step has not found yet are left out.
void PaintTrimPicture(QPainter& painter, const QRect& area, const TrimPicture& picture,
                      const QPalette& palette);

// Where PaintTrimPicture puts the plot inside `area` when drawing with `font`.
QRect PlotArea(const QRect& area, const QFont& font);

// The column of `plot` at which `seconds` of a file `totalSeconds` long is drawn.
int TimeColumn(const QRect& plot, double totalSeconds, double seconds);

// A copy of `picture` with at most `maxWindows` windows, neighbours merged into their mean, for
// keeping many files' pictures; stretches not measured stay unmeasured.
TrimPicture Thinned(const TrimPicture& picture, size_t maxWindows);

// The palette of the PNGs: the same light colours whatever the desktop's theme.
QPalette PlotPalette();
// `palette` with the marks' colours, which are the same on every theme: the cut in the
// highlight role, the fade in the link role. The strips draw with the window's palette so.
QPalette WithMarkColours(QPalette palette);

// Draws `picture` offscreen at kPlotSize and writes it to `path` as a PNG. Needs a
// QGuiApplication (the offscreen platform serves). False when the file could not be written.
bool SaveTrimPicture(const TrimPicture& picture, const QString& path);

// Writes a complete picture to its PlotPath, when it has one, creating the folder; a picture
// that cannot be written logs "The picture could not be written: <path>". That is no failure
// line: the file itself went through as it would without /plot.
void WritePlotFile(const TrimPicture& picture, Host& host);

// When a strip takes a picture as the trim step hands it on: a complete one always, a growing
// one at most every 100 ms. The strip keeps a copy, which costs the picture's length; of a long
// file it grows by many updates, and a few a second are all the eye can follow.
class StripPace {
public:
    bool Due(const TrimPicture& picture);

private:
    std::chrono::steady_clock::time_point last_{};
};

// The host of a batch run that writes /plot pictures without a display: the console's log, and
// the pictures drawn offscreen. Needs a QGuiApplication on the offscreen platform.
class PlotHost : public ConsoleHost {
public:
    bool TrimMeasured(const TrimPicture& picture) override;
};

// A strip of the progress window: the picture of one file, kept until another replaces it.
// Follows the window's palette, dark themes included.
class LoudnessStrip : public QWidget {
public:
    explicit LoudnessStrip(QWidget* parent = nullptr);

    void Show(const TrimPicture& picture);
    const TrimPicture& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TrimPicture picture_;
};

}  // namespace varnook::ui
