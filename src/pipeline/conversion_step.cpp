#include "pipeline/conversion_step.h"

#include <unistd.h>

#include "base/context.h"
#include "convert/convert.h"
#include "io/guarded.h"

namespace varnook {
namespace {

constexpr const char* kRefused = "Not a valid file format!";

}  // namespace

std::optional<std::string> ConvertSource(Context& ctx, const std::string& workPath)
{
    Host& host = ctx.host;
    const std::string& source = ctx.request.SourcePath;
    const ConvertResult probe = ProbeSource(source);
    if (!probe.Ok) return probe.Reason.empty() ? kRefused : std::string(kRefused) + " " + probe.Reason;

    host.SetCaption("Converting...");
    host.LogLine("Converting...");
    ConvertResult result;
    bool done = false;
    try {
        done = Guarded(host, "ConvertSource", [&] {
            result = ConvertToPcm16(source, workPath, [&host] { host.Yield(); });
        });
    } catch (...) {
        ::unlink(workPath.c_str());
        throw;
    }
    if (done && result.Ok) {
        if (!result.Note.empty()) host.LogLine(result.Note);
        host.LogLine("Converted OK");
        return std::nullopt;
    }
    if (done) host.LogLine(result.Reason);
    // A work WAV cut short must not be taken for the whole song by a later run.
    ::unlink(workPath.c_str());
    return "Could not convert";
}

}  // namespace varnook
