#include "ui/file_list_box.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

namespace varnook::ui {

namespace {

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

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void FileListBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileListBox::dragMoveEvent(QDragMoveEvent* event)
{
    // The base class would ask the item model, which takes no drops; files may land anywhere.
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void FileListBox::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(paths);
}

void FileListBox::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats as press/release pairs on X11; only the real release counts.
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat()) {
        emit DeleteReleased();
        event->accept();
        return;
    }
    QListWidget::keyReleaseEvent(event);
}

}  // namespace varnook::ui
