// The main window's table of files: takes dropped files and folders, and says how to fill it
// while it is empty. What a drop adds is the window's decision (it refuses drops while a run
// goes on).
#pragma once

#include <QStringList>
#include <QTableView>

namespace varnook::ui {

class FileTable : public QTableView {
    Q_OBJECT

public:
    explicit FileTable(QWidget* parent);

    // Drawn over the empty table.
    static constexpr const char* kPlaceholder = "Drop files or folders here, or use File \u25b8 Add Files\u2026";

signals:
    // The local paths of a drop of files or folders, in the order the drop lists them.
    void FilesDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace varnook::ui
