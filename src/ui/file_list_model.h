// The main window's list of files to process, as the rows of a table: each file once, in the
// order a run takes them, with what became of it in the last run (its status, the gain applied,
// the output and, for a failure, the reason in plain words) and the picture of its trim. Sorting
// reorders the rows themselves, so the order shown is always the order of the next run; while a
// run goes on the rows keep their places.
#pragma once

#include "base/trim_picture.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace varnook {
struct FileResult;
}

namespace varnook::ui {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kFileColumn, kStatusColumn, kGainColumn, kOutputColumn, kReasonColumn, kColumnCount };
    // In the order a sort by status puts them.
    enum class State { Waiting, Working, Done, Skipped, Stopped, Failed };

    struct Entry {
        QString Path;   // absolute; the key that merges duplicates
        QString Shown;  // relative to the folder it was added from: its name for a file on its own
        State Status = State::Waiting;
        std::optional<double> Gain = {};  // dB applied by the amplify step (else recommended)
        QString Output = {};              // the output delivered, absolute
        QString Reason = {};              // why it failed, in plain words
        QString LogReason = {};           // the same in the failing step's words, as the log has them
        std::shared_ptr<const TrimPicture> Picture = {};
    };

    FileListModel(char decimalSeparator, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A stable sort by the column's own order (paths in natural order, gains as numbers); none
    // while the rows are held (a run goes on).
    void sort(int column, Qt::SortOrder order) override;

    const Entry& At(int row) const { return entries_[static_cast<size_t>(row)]; }
    bool Contains(const QString& path) const { return paths_.contains(path); }
    // Appends the files (path, shown) at the end, in order; the caller has left out duplicates.
    void Append(const std::vector<std::pair<QString, QString>>& files);
    void Remove(std::vector<int> rows);
    void Clear();
    // While held, the rows keep their order: a run refers to them by their row.
    void Hold(bool held) { held_ = held; }

    // A run begins: every row waits again, its old result gone.
    void ResetResults();
    void MarkWorking(int row);
    // A run is over: a row it took but stopped before its file began waits again.
    void EndWorking();
    void MarkResult(int row, const FileResult& result);
    void SetPicture(int row, std::shared_ptr<const TrimPicture> picture);
    int CountOf(State state) const;

private:
    void RowChanged(int row);

    char decimalSeparator_;
    std::vector<Entry> entries_;
    QSet<QString> paths_;
    bool held_ = false;
};

}  // namespace varnook::ui
