#include "pipeline/conversion_step.h"

#include <unistd.h>

#include "base/context.h"
#include "convert/convert.h"
#include "io/guarded.h"

namespace varnook {
namespace {

constexpr const char* kRefused = "Not a valid file format!";
constexpr const char* kNotConverted = "Could not convert";

}  // namespace

StepEnd ConvertSource(Context& ctx, const std::string& workPath, std::string& failure)
{
    Host& host = ctx.host;
    const std::string& source = ctx.request.SourcePath;
    const ConvertResult probe = ProbeSource(source);
    if (!probe.Ok) {
        failure = probe.Reason.empty() ? kRefused : std::string(kRefused) + " " + probe.Reason;
        return StepEnd::Failed;
    }

    host.SetCaption("Converting...");
    host.LogLine("Converting...");
    ConvertResult result;
    bool done = false;
    try {
        done = Guarded(host, "ConvertSource", [&] {
            result = ConvertToWorkWav(source, workPath, ctx.request.KeepDepth, [&host] { host.Yield(); });
        });
    } catch (...) {
        ::unlink(workPath.c_str());
        throw;
    }
    // A stop asked for while the source was converted is heard once it is through: the work WAV
    // then goes, as it would for a later step's stop.
    const bool stopped = ctx.stop->Requested();
    if (done && result.Ok && !stopped) {
        if (!result.Note.empty()) host.LogLine(result.Note);
        host.LogLine("Converted OK");
        return StepEnd::Finished;
    }
    if (done && !stopped) host.LogLine(result.Reason);
    // A work WAV cut short must not be taken for the whole song by a later run.
    ::unlink(workPath.c_str());
    failure = kNotConverted;
    return stopped ? StepEnd::Stopped : StepEnd::Failed;
}

}  // namespace varnook
