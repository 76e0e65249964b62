#include "cli/batch.h"

#include <string>
#include <vector>

#include "base/context.h"
#include "cli/command_line.h"
#include "cli/status_line.h"
#include "library/run_loop.h"
#include "library/sources.h"

namespace varnook {
namespace {

// The batch's host: the status line is wiped before a log line or an error box, so that they
// start on a clean line, and drawn again at the next change of the progress.
class StatusLineHost final : public ForwardingHost {
public:
    StatusLineHost(Host& inner, StatusLine& status) : ForwardingHost(inner), status_(status) {}

    void LogLine(const std::string& line) override
    {
        status_.Clear();
        ForwardingHost::LogLine(line);
    }
    void ErrorBox(const std::string& text) override
    {
        status_.Clear();
        ForwardingHost::ErrorBox(text);
    }

private:
    StatusLine& status_;
};

}  // namespace

int RunBatch(Context& ctx, const ParsedCommandLine& commandLine, const std::function<bool()>& stopRequested)
{
    const std::vector<RunItem> items = CollectSources(commandLine.Sources, commandLine.MissingSources,
                                                      ctx.request.DestPath, ChosenOutput(ctx.settings), ctx.host);
    StatusLine status;
    StatusLineHost host(ctx.host, status);
    RunFrontEnd frontEnd;
    frontEnd.Progress = [&](const RunProgress& progress) {
        host.ShowProgress(progress.Finished, progress.Total);
        status.Draw(progress);
    };
    frontEnd.StopAsked = stopRequested;
    frontEnd.Summary = items.size() > 1 || AnyFolder(commandLine.Sources);
    frontEnd.AudioProgress = status.Enabled();
    const RunTotals totals = RunFiles(ctx, items, host, frontEnd);
    status.Clear();
    return totals.Succeeded() ? kBatchSucceeded : kBatchFailed;
}

}  // namespace varnook
