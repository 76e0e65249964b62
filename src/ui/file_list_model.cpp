#include "ui/file_list_model.h"

#include "io/numbers.h"
#include "library/run_ledger.h"
#include "library/walk.h"
#include "pipeline/pipeline.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>

namespace varnook::ui {

namespace {

constexpr const char* kHeaders[FileListModel::kColumnCount] = {"File", "Status", "Gain", "Output", "Reason"};

FileListModel::State StateOf(FileOutcome outcome)
{
    switch (outcome) {
    case FileOutcome::Done: return FileListModel::State::Done;
    case FileOutcome::Skipped: return FileListModel::State::Skipped;
    case FileOutcome::Stopped: return FileListModel::State::Stopped;
    case FileOutcome::Failed: break;
    }
    return FileListModel::State::Failed;
}

QString StatusWord(FileListModel::State state)
{
    switch (state) {
    case FileListModel::State::Waiting: return {};
    case FileListModel::State::Working: return "working";
    case FileListModel::State::Done: return StatusText(FileOutcome::Done);
    case FileListModel::State::Skipped: return StatusText(FileOutcome::Skipped);
    case FileListModel::State::Stopped: return StatusText(FileOutcome::Stopped);
    case FileListModel::State::Failed: return StatusText(FileOutcome::Failed);
    }
    return {};
}

QVariant StatusIcon(FileListModel::State state)
{
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxCritical;
    switch (state) {
    case FileListModel::State::Waiting: return {};
    case FileListModel::State::Working: icon = QStyle::SP_MediaPlay; break;
    case FileListModel::State::Done: icon = QStyle::SP_DialogApplyButton; break;
    case FileListModel::State::Skipped: icon = QStyle::SP_MediaSkipForward; break;
    case FileListModel::State::Stopped: icon = QStyle::SP_BrowserStop; break;
    case FileListModel::State::Failed: break;
    }
    return QApplication::style()->standardIcon(icon);
}

QString NameOf(const QString& path)
{
    return path.section('/', -1);
}

}  // namespace

FileListModel::FileListModel(char decimalSeparator, QObject* parent)
    : QAbstractTableModel(parent), decimalSeparator_(decimalSeparator)
{
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Entry& entry = At(index.row());
    const bool shown = role == Qt::DisplayRole;
    const bool tip = role == Qt::ToolTipRole;
    switch (index.column()) {
    case kFileColumn:
        if (shown) return entry.Shown;
        if (tip || role == Qt::UserRole) return entry.Path;
        break;
    case kStatusColumn:
        if (shown) return StatusWord(entry.Status);
        if (role == Qt::DecorationRole) return StatusIcon(entry.Status);
        break;
    case kGainColumn:
        if (shown && entry.Gain) {
            const std::string number = FormatFixed2(*entry.Gain, decimalSeparator_);
            return QString::fromStdString((*entry.Gain > 0 ? "+" : "") + number + " dB");
        }
        if (role == Qt::TextAlignmentRole) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case kOutputColumn:
        if (shown) return NameOf(entry.Output);
        if (tip) return entry.Output;
        break;
    case kReasonColumn:
        if (shown) return entry.Reason;
        // The log's words beside the plain ones, so the file's lines are easy to find.
        if (tip && !entry.LogReason.isEmpty() && entry.LogReason != entry.Reason)
            return entry.Reason + "\n(log: " + entry.LogReason + ")";
        if (tip) return entry.Reason;
        break;
    default: break;
    }
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
    return kHeaders[section];
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (held_ || column < 0 || column >= kColumnCount) return;
    // The names as NaturalLess takes them, made once rather than at every comparison.
    std::vector<std::string> names;
    if (column == kFileColumn)
        for (const Entry& entry : entries_) names.push_back(entry.Shown.toStdString());
    const auto less = [&](size_t i, size_t j) {
        const Entry& a = entries_[i];
        const Entry& b = entries_[j];
        switch (column) {
        case kStatusColumn: return a.Status < b.Status;
        case kGainColumn: return a.Gain < b.Gain;  // no gain before any
        case kOutputColumn: return QString::localeAwareCompare(a.Output, b.Output) < 0;
        case kReasonColumn: return QString::localeAwareCompare(a.Reason, b.Reason) < 0;
        default: return NaturalLess(names[i], names[j]);
        }
    };
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> byRow(entries_.size());
    for (size_t i = 0; i < byRow.size(); ++i) byRow[i] = static_cast<int>(i);
    std::stable_sort(byRow.begin(), byRow.end(), [&](int a, int b) {
        const auto x = static_cast<size_t>(a), y = static_cast<size_t>(b);
        return order == Qt::AscendingOrder ? less(x, y) : less(y, x);
    });
    std::vector<Entry> sorted;
    sorted.reserve(entries_.size());
    std::vector<int> newRow(entries_.size());
    for (size_t i = 0; i < byRow.size(); ++i) {
        newRow[static_cast<size_t>(byRow[i])] = static_cast<int>(i);
        sorted.push_back(std::move(entries_[static_cast<size_t>(byRow[i])]));
    }
    entries_ = std::move(sorted);
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << this->index(newRow[static_cast<size_t>(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::Append(const std::vector<std::pair<QString, QString>>& files)
{
    if (files.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(files.size()) - 1);
    for (const auto& [path, shown] : files) {
        entries_.push_back({path, shown});
        paths_.insert(path);
    }
    endInsertRows();
}

void FileListModel::Remove(std::vector<int> rows)
{
    // From the last row back, so that removing some does not move those still to go; each run
    // of neighbouring rows in one step, so that a whole selection costs one update, not one a row.
    std::erase_if(rows, [this](int row) { return row < 0 || row >= rowCount(); });
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (size_t i = 0; i < rows.size();) {
        const int last = rows[i];
        int first = last;
        while (++i < rows.size() && rows[i] == first - 1) first = rows[i];
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row) paths_.remove(At(row).Path);
        entries_.erase(entries_.begin() + first, entries_.begin() + last + 1);
        endRemoveRows();
    }
}

void FileListModel::Clear()
{
    beginResetModel();
    entries_.clear();
    paths_.clear();
    endResetModel();
}

void FileListModel::ResetResults()
{
    for (Entry& entry : entries_) entry = Entry{entry.Path, entry.Shown};
    if (!entries_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

void FileListModel::MarkWorking(int row)
{
    entries_[static_cast<size_t>(row)].Status = State::Working;
    RowChanged(row);
}

void FileListModel::EndWorking()
{
    for (int row = 0; row < rowCount(); ++row) {
        if (At(row).Status != State::Working) continue;
        entries_[static_cast<size_t>(row)].Status = State::Waiting;
        RowChanged(row);
    }
}

void FileListModel::MarkResult(int row, const FileResult& result)
{
    Entry& entry = entries_[static_cast<size_t>(row)];
    entry.Status = StateOf(result.Outcome);
    entry.Gain = result.Facts.AppliedGain ? result.Facts.AppliedGain : result.Facts.RecommendedGain;
    entry.Output = QString::fromStdString(result.Delivered);
    entry.LogReason = QString::fromStdString(result.Reason);
    switch (entry.Status) {
    case State::Failed:
        entry.Reason = QString::fromStdString(result.PlainReason.empty() ? result.Reason : result.PlainReason);
        break;
    case State::Skipped: entry.Reason = "Output up to date"; break;
    case State::Stopped: entry.Reason = "Stopped before it was finished"; break;
    default: entry.Reason.clear(); break;
    }
    RowChanged(row);
}

void FileListModel::SetPicture(int row, std::shared_ptr<const TrimPicture> picture)
{
    entries_[static_cast<size_t>(row)].Picture = std::move(picture);
}

int FileListModel::CountOf(State state) const
{
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [state](const Entry& entry) { return entry.Status == state; }));
}

void FileListModel::RowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

}  // namespace varnook::ui
