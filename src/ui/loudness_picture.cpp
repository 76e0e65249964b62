#include "ui/loudness_picture.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <map>

namespace varnook::ui {

namespace {

// The level axis, in the trim step's dB below the average: the loudest windows of ordinary
// music sit a few dB either side of 0, silence far below every threshold. Levels outside the
// span are drawn at its edge, so digital silence (90 dB) does not squash the music into a line.
constexpr double kLoudestShown = -15;
constexpr double kBelowQuietestThreshold = 20;
// Tall enough at 100% for a readable curve between the name row and the time axis.
constexpr int kStripHeight = 150;
constexpr int kPadding = 4;
constexpr int kTickLength = 3;
constexpr int kLeadShadeAlpha = 90;
constexpr int kDashOn = 5;
constexpr int kDashOff = 3;
constexpr int kSwatchWidth = 12;
constexpr int kLegendGap = 10;
// A window this many window lengths or more after the one before starts a new stretch: the
// step has not measured what lies between.
constexpr double kGapInWindows = 1.5;
// Axis labels stand at least this many label sizes apart.
constexpr double kLabelSpacing = 1.6;
constexpr double kSecondSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
constexpr double kLevelSteps[] = {5, 10, 20, 50, 100};
constexpr const char* kWidestLevelLabel = "-000 dB";
constexpr const char* kWidestTimeLabel = "00:00";
constexpr const char* kNoPicture = "No file trimmed yet";
// The marks' colours on light and dark backgrounds alike, apart from each other and from the
// curve in the theme's text colour.
const QColor kCutColour(0xd8, 0x3a, 0x22);
const QColor kFadeColour(0x2f, 0x7d, 0xe0);

int TitleHeight(const QFontMetrics& metrics)
{
    return metrics.height() + 2 * kPadding;
}

QRect PlotAreaFor(const QRect& area, const QFontMetrics& metrics)
{
    const int left = metrics.horizontalAdvance(kWidestLevelLabel) + kTickLength + 2 * kPadding;
    // Room for half of the last time label beyond the plot's right edge.
    const int right = metrics.horizontalAdvance(kWidestTimeLabel) / 2 + kPadding;
    const int bottom = kTickLength + metrics.height() + kPadding;
    return area.adjusted(left, TitleHeight(metrics), -right, -bottom);
}

double LevelRow(const QRect& plot, double top, double bottom, double level)
{
    const double clamped = std::clamp(level, top, bottom);
    return plot.top() + (clamped - top) / (bottom - top) * (plot.height() - 1);
}

QString Clock(double seconds)
{
    const auto whole = static_cast<long long>(std::lround(seconds));
    if (whole >= 3600)
        return QString("%1:%2:%3").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QChar('0')).arg(whole % 60, 2, 10, QChar('0'));
    return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

// The smallest of `steps` that keeps labels `labelSize` apart over `length` pixels for `span`.
double AxisStep(double span, int length, int labelSize, const double* steps, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (steps[i] / span * length >= kLabelSpacing * labelSize) return steps[i];
    }
    return steps[count - 1] * std::ceil(span / steps[count - 1]);
}

// A mark kMarkWidth wide over the plot's height at x, kept inside the plot at its right edge.
void Mark(QPainter& painter, const QRect& plot, int x, const QColor& colour, bool dashed)
{
    const int left = std::min(x, plot.right() - kMarkWidth + 1);
    if (!dashed) {
        painter.fillRect(left, plot.top(), kMarkWidth, plot.height(), colour);
        return;
    }
    for (int y = plot.top(); y <= plot.bottom(); y += kDashOn + kDashOff)
        painter.fillRect(left, y, kMarkWidth, std::min(kDashOn, plot.bottom() - y + 1), colour);
}

void ShadeSpan(QPainter& painter, const QRect& plot, double total, double from, double to, const QColor& colour)
{
    const int left = TimeColumn(plot, total, from);
    const int right = TimeColumn(plot, total, to);
    if (right <= left) return;
    painter.fillRect(QRect(left, plot.top(), right - left, plot.height()), colour);
}

QColor ShadeColour(const QPalette& palette)
{
    QColor shade = palette.color(QPalette::Mid);
    shade.setAlpha(kLeadShadeAlpha);
    return shade;
}

// The legend at the right of the title row; returns where it begins (the row's right edge when
// there is no room for it beside `nameWidth`).
int PaintLegend(QPainter& painter, const QRect& row, const QPalette& palette, int nameWidth)
{
    enum class Swatch { Cut, Fade, Lead, Threshold };
    const std::pair<Swatch, const char*> items[] = {
        {Swatch::Cut, "cut"}, {Swatch::Fade, "fade"}, {Swatch::Lead, "lead silence"}, {Swatch::Threshold, "thresholds"}};
    const QFontMetrics metrics = painter.fontMetrics();
    int width = 0;
    for (const auto& [swatch, text] : items) width += kSwatchWidth + kPadding + metrics.horizontalAdvance(text) + kLegendGap;
    if (width + nameWidth > row.width()) return row.right();
    int x = row.right() - width + kLegendGap;
    const int top = row.top() + kPadding;
    const int height = metrics.height();
    for (const auto& [swatch, text] : items) {
        const QRect box(x, top, kSwatchWidth, height);
        switch (swatch) {
        case Swatch::Cut: Mark(painter, box, box.center().x(), palette.color(QPalette::Highlight), false); break;
        case Swatch::Fade: Mark(painter, box, box.center().x(), palette.color(QPalette::Link), true); break;
        case Swatch::Lead: painter.fillRect(box, ShadeColour(palette)); break;
        case Swatch::Threshold:
            painter.setPen(QPen(palette.color(QPalette::PlaceholderText), 1, Qt::DotLine));
            painter.drawLine(box.left(), box.center().y(), box.right(), box.center().y());
            break;
        }
        painter.setPen(palette.color(QPalette::Text));
        const int textLeft = box.right() + kPadding;
        painter.drawText(QRect(textLeft, top, row.right() - textLeft, height), Qt::AlignLeft | Qt::AlignVCenter, text);
        x = textLeft + metrics.horizontalAdvance(text) + kLegendGap;
    }
    return row.right() - width;
}

void PaintLevelAxis(QPainter& painter, const QRect& plot, double top, double bottom, const QPalette& palette)
{
    const QFontMetrics metrics = painter.fontMetrics();
    const double step =
        AxisStep(bottom - top, plot.height(), metrics.height(), kLevelSteps, std::size(kLevelSteps));
    painter.setPen(palette.color(QPalette::Text));
    for (double level = std::ceil(top / step) * step; level <= bottom; level += step) {
        const int y = static_cast<int>(std::lround(LevelRow(plot, top, bottom, level)));
        painter.drawLine(plot.left() - kTickLength - 1, y, plot.left() - 1, y);
        // The step's "below the average" turned round: louder is up and positive.
        const QString label = QString::number(level == 0 ? 0 : -level) + " dB";
        const int right = plot.left() - kTickLength - kPadding;
        painter.drawText(QRect(right - metrics.horizontalAdvance(label) - kPadding, y - metrics.height() / 2,
                               metrics.horizontalAdvance(label) + kPadding, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }
}

void PaintTimeAxis(QPainter& painter, const QRect& area, const QRect& plot, double total, const QPalette& palette)
{
    const QFontMetrics metrics = painter.fontMetrics();
    const double step = AxisStep(total, plot.width(), metrics.horizontalAdvance(kWidestTimeLabel), kSecondSteps,
                                 std::size(kSecondSteps));
    painter.setPen(palette.color(QPalette::Text));
    for (double seconds = 0; seconds <= total; seconds += step) {
        const int x = TimeColumn(plot, total, seconds);
        painter.drawLine(x, plot.bottom() + 1, x, plot.bottom() + kTickLength);
        const QString label = Clock(seconds);
        const int width = metrics.horizontalAdvance(label);
        const QRect box(x - width / 2, plot.bottom() + kTickLength + 1, width, metrics.height());
        if (box.right() <= area.right()) painter.drawText(box, Qt::AlignCenter, label);
    }
}

// The windows in time order, each stretch the step measured without a break as one line through
// the windows' middles.
void PaintCurve(QPainter& painter, const QRect& plot, const TrimPicture& picture, double top, double bottom,
                const QPalette& palette)
{
    std::vector<TrimPicture::Window> windows = picture.Windows;
    std::sort(windows.begin(), windows.end(), [](const auto& a, const auto& b) { return a.Seconds < b.Seconds; });
    const double total = picture.Seconds;
    const double half = picture.WindowSeconds / 2;
    QPainterPath curve;
    for (size_t i = 0; i < windows.size(); ++i) {
        const double y = LevelRow(plot, top, bottom, windows[i].Level);
        const bool starts = i == 0 || windows[i].Seconds - windows[i - 1].Seconds >= kGapInWindows * picture.WindowSeconds;
        const bool ends = i + 1 == windows.size() ||
                          windows[i + 1].Seconds - windows[i].Seconds >= kGapInWindows * picture.WindowSeconds;
        if (starts && ends) {
            // A window on its own: drawn over its own length, so it shows.
            curve.moveTo(TimeColumn(plot, total, windows[i].Seconds), y);
            curve.lineTo(TimeColumn(plot, total, windows[i].Seconds + picture.WindowSeconds), y);
            continue;
        }
        const QPointF point(TimeColumn(plot, total, windows[i].Seconds + half), y);
        if (starts) curve.moveTo(point);
        else curve.lineTo(point);
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(palette.color(QPalette::Text), 1.5));
    painter.drawPath(curve);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

}  // namespace

QRect PlotArea(const QRect& area, const QFont& font)
{
    return PlotAreaFor(area, QFontMetrics(font));
}

int TimeColumn(const QRect& plot, double totalSeconds, double seconds)
{
    if (!(totalSeconds > 0)) return plot.left();
    const double fraction = std::clamp(seconds / totalSeconds, 0.0, 1.0);
    return plot.left() + static_cast<int>(std::lround(fraction * (plot.width() - 1)));
}

void PaintTrimPicture(QPainter& painter, const QRect& area, const TrimPicture& picture, const QPalette& palette)
{
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, palette.color(QPalette::Base));
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect plot = PlotAreaFor(area, metrics);
    const QRect title(area.left() + kPadding, area.top(), area.width() - 2 * kPadding, TitleHeight(metrics));

    const QString name = QString::fromStdString(picture.SourcePath).section('/', -1);
    const int legend = PaintLegend(painter, title, palette, std::min(metrics.horizontalAdvance(name), title.width() / 3));
    painter.setPen(palette.color(name.isEmpty() ? QPalette::PlaceholderText : QPalette::Text));
    const QRect nameBox(title.left(), title.top() + kPadding, legend - title.left() - kLegendGap, metrics.height());
    painter.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(name.isEmpty() ? kNoPicture : name, Qt::ElideMiddle, nameBox.width()));
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawRect(plot.adjusted(-1, -1, 0, 0));

    const double total = picture.Seconds;
    if (total > 0 && plot.width() > 1 && plot.height() > 1) {
        const double quietest = *std::max_element(picture.Thresholds.begin(), picture.Thresholds.end());
        const double bottom = quietest + kBelowQuietestThreshold;
        double top = kLoudestShown;
        for (const TrimPicture::Window& w : picture.Windows) top = std::min(top, w.Level);
        PaintLevelAxis(painter, plot, top, bottom, palette);
        PaintTimeAxis(painter, area, plot, total, palette);

        painter.setClipRect(plot);
        const QColor shade = ShadeColour(palette);
        if (picture.CutIn) ShadeSpan(painter, plot, total, *picture.CutIn - picture.LeadIn, *picture.CutIn, shade);
        if (picture.CutOut) ShadeSpan(painter, plot, total, *picture.CutOut, *picture.CutOut + picture.LeadOut, shade);
        painter.setPen(QPen(palette.color(QPalette::PlaceholderText), 1, Qt::DotLine));
        for (const double threshold : picture.Thresholds) {
            const double y = LevelRow(plot, top, bottom, threshold);
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        PaintCurve(painter, plot, picture, top, bottom, palette);
        // Drawn last, so each mark stands clear above everything else.
        for (const auto& [at, role, dashed] : {std::tuple{picture.FadeInEnd, QPalette::Link, true},
                                               std::tuple{picture.FadeOutStart, QPalette::Link, true},
                                               std::tuple{picture.CutIn, QPalette::Highlight, false},
                                               std::tuple{picture.CutOut, QPalette::Highlight, false}}) {
            if (at) Mark(painter, plot, TimeColumn(plot, total, *at), palette.color(role), dashed);
        }
    }
    painter.restore();
}

TrimPicture Thinned(const TrimPicture& picture, size_t maxWindows)
{
    if (picture.Windows.size() <= maxWindows || maxWindows == 0 || !(picture.WindowSeconds > 0)) return picture;
    TrimPicture thinned = picture;
    const size_t merged = (picture.Windows.size() + maxWindows - 1) / maxWindows;
    thinned.WindowSeconds = picture.WindowSeconds * static_cast<double>(merged);
    // By time, not by count: a bucket the step never measured stays empty, so a gap stays one.
    std::map<long long, std::pair<double, int>> buckets;
    for (const TrimPicture::Window& w : picture.Windows) {
        auto& [sum, count] = buckets[static_cast<long long>(std::floor(w.Seconds / thinned.WindowSeconds))];
        sum += w.Level;
        ++count;
    }
    thinned.Windows.clear();
    for (const auto& [bucket, sum] : buckets)
        thinned.Windows.push_back({static_cast<double>(bucket) * thinned.WindowSeconds, sum.first / sum.second});
    return thinned;
}

QPalette WithMarkColours(QPalette palette)
{
    palette.setColor(QPalette::Highlight, kCutColour);
    palette.setColor(QPalette::Link, kFadeColour);
    return palette;
}

QPalette PlotPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(0xff, 0xff, 0xff));
    palette.setColor(QPalette::Text, QColor(0x20, 0x28, 0x30));
    palette.setColor(QPalette::Mid, QColor(0x9a, 0xa4, 0xae));
    palette.setColor(QPalette::PlaceholderText, QColor(0x70, 0x78, 0x80));
    return WithMarkColours(palette);
}

bool SaveTrimPicture(const TrimPicture& picture, const QString& path)
{
    QImage image(kPlotSize, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintTrimPicture(painter, image.rect(), picture, PlotPalette());
    painter.end();
    return image.save(path, "PNG");
}

bool StripPace::Due(const TrimPicture& picture)
{
    constexpr std::chrono::milliseconds kRefresh{100};
    const auto now = std::chrono::steady_clock::now();
    if (!picture.Complete && now - last_ < kRefresh) return false;
    last_ = now;
    return true;
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
    setAccessibleName("Loudness picture");
    setMinimumHeight(kStripHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LoudnessStrip::Show(const TrimPicture& picture)
{
    picture_ = picture;
    setAccessibleDescription(QString::fromStdString(picture.SourcePath));
    update();
}

void LoudnessStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintTrimPicture(painter, rect(), picture_, WithMarkColours(palette()));
}

}  // namespace varnook::ui
