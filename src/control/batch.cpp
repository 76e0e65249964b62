#include "control/batch.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "control/command_line.h"
#include "base/context.h"
#include "control/pipeline.h"

namespace varnook {
namespace {

constexpr std::array<std::string_view, 4> kFailurePrefixes{"Could not ", "Not a valid ", "Only 16-bit ",
                                                           "No filter "};

// Passes everything on to the real host and remembers whether a failure line went by, so the
// exit status follows the log exactly, whichever step wrote the line.
class FailureWatch : public Host {
public:
    explicit FailureWatch(Host& inner) : inner_(inner) {}

    void LogLine(const std::string& line) override
    {
        if (IsFailureLine(line)) failed_ = true;
        inner_.LogLine(line);
    }
    void SetCaption(const std::string& caption) override { inner_.SetCaption(caption); }
    void Yield() override { inner_.Yield(); }
    void ErrorBox(const std::string& text) override { inner_.ErrorBox(text); }
    WindowState ProgressWindowState() const override { return inner_.ProgressWindowState(); }

    bool Failed() const { return failed_; }
    void MarkFailed() { failed_ = true; }

private:
    Host& inner_;
    bool failed_ = false;
};

}  // namespace

bool IsFailureLine(const std::string& line)
{
    return std::any_of(kFailurePrefixes.begin(), kFailurePrefixes.end(),
                       [&](std::string_view prefix) { return line.starts_with(prefix); });
}

int RunBatch(Context& ctx, const ParsedCommandLine& commandLine, const std::function<bool()>& stopRequested)
{
    FailureWatch watch(ctx.host.Target());
    const ReportingThrough reporting(ctx.host, watch);

    const auto stopped = [&] { return ctx.stop->Requested() || (stopRequested && stopRequested()); };
    const std::vector<std::string>& sources = commandLine.Sources;
    const std::vector<std::string>& missing = commandLine.MissingSources;
    ctx.request.RunSources = sources;
    bool interrupted = false;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (stopped()) {
            interrupted = true;
            break;
        }
        if (sources.size() > 1) {
            watch.LogLine("File " + std::to_string(i + 1) + " of " + std::to_string(sources.size()));
            watch.Yield();
        }
        const std::string& source = sources[i];
        if (std::find(missing.begin(), missing.end(), source) != missing.end()) {
            watch.LogLine("Could not find " + source);
            watch.LogLine("");
            continue;
        }
        ctx.request.SourcePath = source;
        if (!ProcessFileLoggingErrors(ctx)) watch.MarkFailed();
    }

    // A stop during the last file (lame ended, a lock wait given up) still makes the run fail.
    if (interrupted || ctx.stop->Requested()) {
        watch.LogLine("Interrupted by user");
        watch.MarkFailed();
    }
    return watch.Failed() ? kBatchFailed : kBatchSucceeded;
}

}  // namespace varnook
