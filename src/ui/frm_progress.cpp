#include "ui/frm_progress.h"

#include "base/host.h"
#include "ui/loudness_picture.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <algorithm>
#include <QListWidget>
#include <QProgressBar>

#include <algorithm>

namespace varnook::ui {

namespace {

constexpr int kLoadLeft = 0;
constexpr int kLoadTop = 300;
constexpr int kLoadWidth = 4800;
constexpr int kLoadHeight = 4800;

}  // namespace

frmProgress::frmProgress()
    : picLoudness(new LoudnessStrip(this)), lbxList(new QListWidget(this)), barRun(new QProgressBar(this))
{
    barRun->setObjectName("barRun");
    barRun->hide();
    setObjectName("frmProgress");
    setWindowTitle(kIdleCaption);
    lbxList->setObjectName("lbxList");
    // Every line has the one height of the font; telling the view so keeps appending cheap
    // however long the log grows.
    lbxList->setUniformItemSizes(true);
    lbxList->setSelectionMode(QAbstractItemView::NoSelection);
    lbxList->setFocusPolicy(Qt::NoFocus);
    const QRect load = TwipRect(kLoadLeft, kLoadTop, kLoadWidth, kLoadHeight);
    move(load.topLeft());
    resize(load.size());
}

void frmProgress::LogLine(const QString& line)
{
    lbxList->addItem(line);
    lbxList->scrollToItem(lbxList->item(lbxList->count() - 1), QAbstractItemView::PositionAtTop);
}

void frmProgress::ShowProgress(size_t finished, size_t total)
{
    barRun->setRange(0, static_cast<int>(total));
    barRun->setValue(static_cast<int>(finished));
    if (barRun->isHidden()) {
        barRun->show();
        LayOut();
    }
}

void frmProgress::LayOut()
{
    // The strip spans the top at its own height, the bar (once shown) the bottom; the list
    // covers the rest at every size, however small.
    const int strip = std::min(picLoudness->minimumHeight(), height());
    const int bar = barRun->isHidden() ? 0 : std::min(barRun->sizeHint().height(), (height() - strip) / 2);
    picLoudness->setGeometry(0, 0, width(), strip);
    lbxList->setGeometry(0, strip, width(), height() - strip - bar);
    barRun->setGeometry(0, height() - bar, width(), bar);
}

void frmProgress::resizeEvent(QResizeEvent* event)
{
    LayOut();
    QWidget::resizeEvent(event);
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
