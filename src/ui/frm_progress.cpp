#include "ui/frm_progress.h"

#include "base/host.h"
#include "ui/loudness_picture.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace varnook::ui {

namespace {

// Where the window first stands: the top left of the screen, wide enough for a strip to show a
// song's shape and high enough for a file's lines.
constexpr QPoint kFirstPlace{0, 20};
constexpr QSize kFirstSize{480, 520};
// More strips than this would each be too small to read; further jobs share them.
constexpr size_t kMaxStrips = 8;
// Strips stand in at most this many rows, side by side beyond.
constexpr size_t kStripRows = 2;

QString Clock(qint64 seconds)
{
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

frmProgress::frmProgress()
    : picLoudness(new LoudnessStrip), lbxList(new QListWidget), barRun(new QProgressBar),
      stripsArea_(new QWidget), stripsGrid_(new QGridLayout(stripsArea_))
{
    setObjectName("frmProgress");
    setWindowTitle(kIdleCaption);
    stripsGrid_->setContentsMargins(0, 0, 0, 0);
    stripsGrid_->setSpacing(1);
    strips_.push_back(picLoudness);
    stripsGrid_->addWidget(picLoudness, 0, 0);
    lbxList->setObjectName("lbxList");
    lbxList->setAccessibleName("Log");
    // Every line has the one height of the font; telling the view so keeps appending cheap
    // however long the log grows.
    lbxList->setUniformItemSizes(true);
    lbxList->setSelectionMode(QAbstractItemView::NoSelection);
    lbxList->setFocusPolicy(Qt::NoFocus);
    barRun->setObjectName("barRun");
    barRun->setAccessibleName("Run progress");
    barRun->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(stripsArea_);
    layout->addWidget(lbxList, 1);
    layout->addWidget(barRun);
    move(kFirstPlace);
    resize(kFirstSize);
}

void frmProgress::LogLine(const QString& line)
{
    lbxList->addItem(line);
    // Scrolling lays the whole list out first, which for every line of a long run costs the
    // run's length over again; lines logged together are scrolled to once, when the window
    // next handles its events (as it repaints only then anyway). The last line as the top one,
    // as far as the list scrolls, is the list scrolled to its bottom.
    if (scrollPending_) return;
    scrollPending_ = true;
    QTimer::singleShot(0, this, [this] {
        scrollPending_ = false;
        lbxList->scrollToBottom();
    });
}

void frmProgress::SetStripCount(size_t count)
{
    count = std::clamp<size_t>(count, 1, kMaxStrips);
    while (strips_.size() > count) {
        delete strips_.back();
        strips_.pop_back();
    }
    while (strips_.size() < count) {
        strips_.push_back(new LoudnessStrip(stripsArea_));
        strips_.back()->setObjectName(QString("picLoudness(%1)").arg(strips_.size() - 1));
    }
    const size_t columns = (count + kStripRows - 1) / kStripRows;
    for (size_t i = 0; i < count; ++i) {
        stripsGrid_->removeWidget(strips_[i]);
        stripsGrid_->addWidget(strips_[i], static_cast<int>(i / columns), static_cast<int>(i % columns));
    }
}

void frmProgress::ShowPicture(size_t slot, const TrimPicture& picture)
{
    if (slot >= strips_.size()) SetStripCount(slot + 1);
    strips_[std::min(slot, strips_.size() - 1)]->Show(picture);
}

void frmProgress::ShowOnlyPicture(const TrimPicture& picture)
{
    SetStripCount(1);
    picLoudness->Show(picture);
}

void frmProgress::StartRun()
{
    SetStripCount(1);
    runClock_.invalidate();
}

void frmProgress::ShowProgress(size_t finished, size_t total, std::optional<double> doneShare)
{
    if (!runClock_.isValid()) runClock_.start();
    barRun->setRange(0, static_cast<int>(total));
    barRun->setValue(static_cast<int>(finished));
    QString text = QString("%1 / %2").arg(finished).arg(total);
    const double share =
        doneShare.value_or(total > 0 ? static_cast<double>(finished) / static_cast<double>(total) : 0.0);
    if (share > 0 && share < 1 && finished < total) {
        const double elapsed = static_cast<double>(runClock_.elapsed()) / 1000;
        text += " \u00b7 " + Clock(std::llround(elapsed * (1 - share) / share)) + " left";
    }
    barRun->setFormat(text);
    barRun->show();
}

void frmProgress::closeEvent(QCloseEvent* event)
{
    // The close is never refused; a batch run asks Closed() before each file, and a step that
    // waits (for lame, in a long loop) hears of it through the stop request wired to closing().
    closed_ = true;
    emit closing();
    event->accept();
}

}  // namespace varnook::ui
