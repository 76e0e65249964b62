#include "ui/file_table.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

namespace varnook::ui {

namespace {

// Rows as high as the font needs; the table starts with room for this many.
constexpr int kRowsShownAtLeast = 4;
constexpr int kPlaceholderMargin = 12;
constexpr int kRowPadding = 6;

// File managers hand dropped files over as text/uri-list; only local paths can be processed.
QStringList LocalPaths(const QMimeData* data)
{
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

}  // namespace

FileTable::FileTable(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setAlternatingRowColors(true);
    setWordWrap(false);
    setShowGrid(false);
    // A long path keeps its start and its name; the middle is what one can do without.
    setTextElideMode(Qt::ElideMiddle);
    verticalHeader()->hide();
    // One height for every row, from the font: fitting each row to its contents would measure
    // every row at every change, which a run of a thousand files makes a thousand times.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + kRowPadding);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    // No sort until the user asks for one: the rows stay in the order they were added.
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    setMinimumHeight(horizontalHeader()->sizeHint().height() + kRowsShownAtLeast * fontMetrics().height() * 3 / 2);
}

void FileTable::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void FileTable::dragMoveEvent(QDragMoveEvent* event)
{
    // The base class would ask the model, which takes no drops; files may land anywhere.
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileTable::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

void FileTable::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    if (model() != nullptr && model()->rowCount() > 0) return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QRect room = viewport()->rect().adjusted(kPlaceholderMargin, kPlaceholderMargin, -kPlaceholderMargin,
                                                   -kPlaceholderMargin);
    painter.drawText(room, Qt::AlignCenter | Qt::TextWordWrap, kPlaceholder);
}

}  // namespace varnook::ui
