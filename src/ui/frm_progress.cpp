#include "ui/frm_progress.h"

#include "base/host.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QListWidget>

namespace varnook::ui {

namespace {

constexpr int kLoadLeft = 0;
constexpr int kLoadTop = 300;
constexpr int kLoadWidth = 4800;
constexpr int kLoadHeight = 4800;

}  // namespace

frmProgress::frmProgress() : lbxList(new QListWidget(this))
{
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

void frmProgress::resizeEvent(QResizeEvent* event)
{
    // The list covers the whole client area at every size, however small.
    lbxList->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void frmProgress::closeEvent(QCloseEvent* event)
{
    // The close is never refused; a batch run asks Closed() before each file.
    closed_ = true;
    event->accept();
}

}  // namespace varnook::ui
