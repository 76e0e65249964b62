// One file's log on its way to whoever shows it: notes the file's first failure line, and
// either passes every line on at once or keeps them for a block logged when the file ends (the
// threads of parallel jobs must not reach the windows). The batch and the windows' run both
// tell a file's result from it.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/trim_picture.h"

namespace varnook {

// True for a log line that reports a failure (see batch.h).
bool IsFailureLine(const std::string& line);

// Stands between the steps of one file and whoever shows the log: notes the file's first
// failure line, and either passes every line on at once (one job) or keeps them for the block
// that is logged when the file ends (several jobs, whose threads must not reach the windows).
class FileWatch final : public Host {
public:
    using ErrorBoxRelay = std::function<void(const std::string&)>;

    // Lines go on to `inner` as they come; `beforeLine` runs ahead of each (the status line is
    // wiped so the line starts clean).
    FileWatch(Host& inner, std::function<void()> beforeLine = {})
        : inner_(&inner), beforeLine_(std::move(beforeLine))
    {
    }
    // Lines are kept; error boxes go through `relay` to the thread that owns the windows.
    explicit FileWatch(ErrorBoxRelay relay) : relay_(std::move(relay)) {}

    void LogLine(const std::string& line) override
    {
        if (IsFailureLine(line)) MarkFailed(line);
        if (inner_ == nullptr) {
            lines_.push_back(line);
            return;
        }
        if (beforeLine_) beforeLine_();
        inner_->LogLine(line);
    }
    void SetCaption(const std::string& caption) override
    {
        if (inner_ != nullptr) inner_->SetCaption(caption);
    }
    void Yield() override
    {
        if (inner_ != nullptr) inner_->Yield();
    }
    void ErrorBox(const std::string& text) override
    {
        if (inner_ != nullptr) {
            inner_->ErrorBox(text);
        } else {
            relay_(text);
        }
    }
    WindowState ProgressWindowState() const override
    {
        return inner_ != nullptr ? inner_->ProgressWindowState() : WindowState::Normal;
    }

    void ShowProgress(size_t finished, size_t total) override
    {
        if (inner_ != nullptr) inner_->ShowProgress(finished, total);
    }
    // A job of several keeps the finished picture until its file's block is logged: pictures
    // are drawn on the thread that owns the windows (TakePicture), and only a /plot needs them.
    bool TrimMeasured(const TrimPicture& picture) override
    {
        if (inner_ != nullptr) return inner_->TrimMeasured(picture);
        if (picture.Complete) picture_ = picture;
        return !picture.PlotPath.empty();
    }
    std::optional<TrimPicture> TakePicture() { return std::exchange(picture_, std::nullopt); }

    void BeginFile()
    {
        picture_.reset();
        lines_.clear();
        reason_.clear();
        fileFailed_ = false;
    }
    void MarkFailed(const std::string& reason)
    {
        if (!fileFailed_) reason_ = reason;
        fileFailed_ = true;
    }
    bool FileFailed() const { return fileFailed_; }
    const std::string& Reason() const { return reason_; }
    std::vector<std::string> TakeLines() { return std::move(lines_); }

private:
    Host* inner_ = nullptr;
    std::function<void()> beforeLine_;
    ErrorBoxRelay relay_;
    std::vector<std::string> lines_;
    std::string reason_;
    bool fileFailed_ = false;
    std::optional<TrimPicture> picture_;
};

}  // namespace varnook
