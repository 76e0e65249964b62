#include "ui/loudness_picture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace varnook::ui {

namespace {

// The level axis, in the trim step's dB below the average: the loudest windows of ordinary
// music sit a few dB either side of 0, silence far below every threshold. Levels outside the
// span are drawn at its edge, so digital silence (90 dB) does not squash the music into a line.
constexpr double kLoudestShown = -15;
constexpr double kBelowQuietestThreshold = 20;
constexpr int kStripHeight = 72;
constexpr int kTextMargin = 4;
constexpr int kLeadShadeAlpha = 90;

double LevelRow(const QRect& area, double top, double bottom, double level)
{
    const double clamped = std::clamp(level, top, bottom);
    return area.top() + (clamped - top) / (bottom - top) * (area.height() - 1);
}

void ShadeSpan(QPainter& painter, const QRect& area, double total, double from, double to,
               QColor colour)
{
    const int left = TimeColumn(area, total, from);
    const int right = TimeColumn(area, total, to);
    if (right <= left) return;
    colour.setAlpha(kLeadShadeAlpha);
    painter.fillRect(QRect(left, area.top(), right - left, area.height()), colour);
}

void Mark(QPainter& painter, const QRect& area, double total, const std::optional<double>& at,
          const QPen& pen)
{
    if (!at) return;
    painter.setPen(pen);
    const int x = TimeColumn(area, total, *at);
    painter.drawLine(x, area.top(), x, area.bottom());
}

}  // namespace

int TimeColumn(const QRect& area, double totalSeconds, double seconds)
{
    if (!(totalSeconds > 0)) return area.left();
    const double fraction = std::clamp(seconds / totalSeconds, 0.0, 1.0);
    return area.left() + static_cast<int>(std::lround(fraction * (area.width() - 1)));
}

void PaintTrimPicture(QPainter& painter, const QRect& area, const TrimPicture& picture,
                      const QPalette& palette)
{
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, palette.color(QPalette::Base));
    const double total = picture.Seconds;
    if (total > 0) {
        const QColor shade = palette.color(QPalette::Mid);
        if (picture.CutIn) ShadeSpan(painter, area, total, *picture.CutIn - picture.LeadIn, *picture.CutIn, shade);
        if (picture.CutOut) ShadeSpan(painter, area, total, *picture.CutOut, *picture.CutOut + picture.LeadOut, shade);

        const double quietest = *std::max_element(picture.Thresholds.begin(), picture.Thresholds.end());
        const double bottom = quietest + kBelowQuietestThreshold;
        double top = kLoudestShown;
        for (const TrimPicture::Window& w : picture.Windows) top = std::min(top, w.Level);

        painter.setPen(QPen(palette.color(QPalette::PlaceholderText), 1, Qt::DotLine));
        for (const double threshold : picture.Thresholds) {
            const double y = LevelRow(area, top, bottom, threshold);
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }

        // The windows in time order, each drawn at its middle; the trim step measures the two
        // ends before the middle.
        std::vector<TrimPicture::Window> windows = picture.Windows;
        std::sort(windows.begin(), windows.end(),
                  [](const auto& a, const auto& b) { return a.Seconds < b.Seconds; });
        QPainterPath curve;
        for (size_t i = 0; i < windows.size(); ++i) {
            const double middle = windows[i].Seconds + picture.WindowSeconds / 2;
            const QPointF point(TimeColumn(area, total, middle), LevelRow(area, top, bottom, windows[i].Level));
            if (i == 0) curve.moveTo(point);
            else curve.lineTo(point);
        }
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(palette.color(QPalette::Text), 1.5));
        painter.drawPath(curve);
        painter.setRenderHint(QPainter::Antialiasing, false);

        // Drawn last, unsmoothed, so each mark is one clean column above everything else.
        const QPen fade(palette.color(QPalette::Link), 1, Qt::DashLine);
        const QPen cut(palette.color(QPalette::Highlight), 1, Qt::SolidLine);
        Mark(painter, area, total, picture.FadeInEnd, fade);
        Mark(painter, area, total, picture.FadeOutStart, fade);
        Mark(painter, area, total, picture.CutIn, cut);
        Mark(painter, area, total, picture.CutOut, cut);
    }
    if (!picture.SourcePath.empty()) {
        const QString name = QString::fromStdString(picture.SourcePath).section('/', -1);
        painter.setPen(palette.color(QPalette::Text));
        painter.drawText(area.adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin),
                         Qt::AlignLeft | Qt::AlignTop, name);
    }
    painter.restore();
}

QPalette PlotPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(0xff, 0xff, 0xff));
    palette.setColor(QPalette::Text, QColor(0x20, 0x28, 0x30));
    palette.setColor(QPalette::Mid, QColor(0x9a, 0xa4, 0xae));
    palette.setColor(QPalette::PlaceholderText, QColor(0x70, 0x78, 0x80));
    palette.setColor(QPalette::Highlight, QColor(0xd0, 0x30, 0x20));
    palette.setColor(QPalette::Link, QColor(0x20, 0x70, 0xd0));
    return palette;
}

bool SaveTrimPicture(const TrimPicture& picture, const QString& path)
{
    QImage image(kPlotSize, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintTrimPicture(painter, image.rect(), picture, PlotPalette());
    painter.end();
    return image.save(path, "PNG");
}

void WritePlotFile(const TrimPicture& picture, Host& host)
{
    if (picture.PlotPath.empty()) return;
    const QString path = QString::fromStdString(picture.PlotPath);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !SaveTrimPicture(picture, path))
        host.LogLine("The picture could not be written: " + picture.PlotPath);
}

bool PlotHost::TrimMeasured(const TrimPicture& picture)
{
    if (picture.Complete) WritePlotFile(picture, *this);
    // Only the finished picture is drawn, but it needs every window.
    return !picture.PlotPath.empty();
}

LoudnessStrip::LoudnessStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName("picLoudness");
    setMinimumHeight(kStripHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LoudnessStrip::Show(const TrimPicture& picture)
{
    picture_ = picture;
    update();
}

void LoudnessStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintTrimPicture(painter, rect(), picture_, palette());
}

}  // namespace varnook::ui
