// The main window's file list: a multi-selection list that takes dropped files and folders and
// reports a released Delete key. What to do with either is the window's decision (it refuses
// both while a run goes on).
#pragma once

#include <QListWidget>
#include <QStringList>

namespace varnook::ui {

class FileListBox : public QListWidget {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent);

signals:
    // The local paths of a drop of files or folders, in the order the drop lists them.
    void FilesDropped(const QStringList& paths);
    // Delete was released while the list had the focus (modifiers do not matter).
    void DeleteReleased();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace varnook::ui
