// The picture of what the trim step measured of a file: the level of each 50 ms window over
// time, the four thresholds, the cut and fade marks and the lead silence. One painter draws it
// into the progress window's strip and into the /plot PNGs, so the two always agree.
#pragma once

#include "base/trim_picture.h"
#include "base/host.h"
#include "cli/console_host.h"

#include <QPalette>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class QPainter;

namespace varnook::ui {

// The size of a /plot PNG.
inline constexpr QSize kPlotSize{1200, 300};

// Draws `picture` over all of `area` in the colours of `palette`. Time runs left to right over
// the whole width (the data length before the trim); louder windows stand higher. The cut marks
// are solid lines in the palette's highlight colour, the fade marks dashed lines in its link
// colour, the lead silence shaded; marks the step has not found yet are left out.
void PaintTrimPicture(QPainter& painter, const QRect& area, const TrimPicture& picture,
                      const QPalette& palette);

// The column of `area` at which `seconds` of a file `totalSeconds` long is drawn.
int TimeColumn(const QRect& area, double totalSeconds, double seconds);

// The palette of the PNGs: the same light colours whatever the desktop's theme.
QPalette PlotPalette();

// Draws `picture` offscreen at kPlotSize and writes it to `path` as a PNG. Needs a
// QGuiApplication (the offscreen platform serves). False when the file could not be written.
bool SaveTrimPicture(const TrimPicture& picture, const QString& path);

// Writes a complete picture to its PlotPath, when it has one, creating the folder; a picture
// that cannot be written logs "The picture could not be written: <path>". That is no failure
// line: the file itself went through as it would without /plot.
void WritePlotFile(const TrimPicture& picture, Host& host);

// The host of a batch run that writes /plot pictures without a display: the console's log, and
// the pictures drawn offscreen. Needs a QGuiApplication on the offscreen platform.
class PlotHost : public ConsoleHost {
public:
    bool TrimMeasured(const TrimPicture& picture) override;
};

// The strip under the progress window's title: the picture of the file in hand, kept until the
// next file's first measurement replaces it. Follows the window's palette, dark themes included.
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
