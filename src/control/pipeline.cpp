#include "control/pipeline.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <unistd.h>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "control/context.h"
#include "control/exist_file.h"
#include "control/folder_lock.h"
#include "control/numbers.h"
#include "control/output_naming.h"
#include "control/paths.h"
#include "editing/amplify.h"
#include "editing/trim.h"
#include "encoder/encoder.h"
#include "encoder/lame_arguments.h"
#include "id3/id3_reader.h"
#include "io/file_moves.h"
#include "io/text.h"
#include "io/work_files.h"
#include "provenance/provenance.h"
#include "report/report_writer.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

constexpr const char* kIdleCaption = "Varnook Progress";
constexpr int16_t kPcmFormat = 1;
constexpr int16_t kSupportedBits = 16;

// One call of ProcessFile: the clock and the reporting helpers it shares between steps.
class FileRun {
public:
    explicit FileRun(Context& ctx)
        : ctx_(ctx), host_(ctx.host), start_(std::chrono::steady_clock::now())
    {
    }

    void Log(const std::string& line) { host_.LogLine(line); }

    // A step title goes both to the caption and into the log.
    void Announce(const std::string& title)
    {
        host_.SetCaption(title);
        host_.LogLine(title);
    }

    // Ends the file early: the caption stays where it was and nothing is cleaned up, so the
    // leftovers show what got how far.
    void EndEarly(const std::string& reason)
    {
        host_.LogLine(reason);
        host_.LogLine("");
    }

    void LogProcessingTime()
    {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        host_.LogLine("Processing time " + Fixed2(elapsed.count()) + " seconds");
    }

    std::string Fixed2(double value) const { return FormatFixed2(value, ctx_.decimalSeparator); }

private:
    Context& ctx_;
    Host& host_;
    std::chrono::steady_clock::time_point start_;
};

void RemoveIfPresent(const std::string& path)
{
    if (ExistFile(path)) RemoveFile(path);
}

// Every job's work files in a folder no job is at work in: a killed run with several jobs leaves
// names that a run with fewer would never reuse and so never clean up. One that will not go is
// left: the file's own work file is removed again, with its errors reported, just after.
void RemoveWorkFiles(const std::string& folder)
{
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsWorkFileName(it->path().filename().string())) ::unlink(it->path().c_str());
    }
}

// Sets the Run request's derived paths for this source; the output name may switch Encode.
void NameFiles(Context& ctx)
{
    RunRequest& req = ctx.request;
    const PathParts source = SplitPath(req.SourcePath);
    req.SourceFolder = source.Folder;
    req.SourceBase = source.Base;
    req.SourceExt = source.Ext;
    req.WorkPath.clear();
    req.TempPath = req.SourceFolder + WorkFileName(WorkFile::Edit, req.Job);

    const OutputName output = NameOutput(req.SourcePath, req.DestPath, ctx.settings.Encode, RealFileProbe());
    req.OutputFolder = output.Folder;
    req.OutputBase = output.Base;
    req.OutputExt = output.Ext;
    req.OutputPath = output.Path;
    ctx.settings.Encode = output.Encode;
}

// Where an MP3 is decoded when its decoded name is also the output name and an edit follows:
// under the output name the unedited decode would look finished if the run died before the
// edited file replaced it.
std::string DecodeTempPath(const RunRequest& req)
{
    return req.SourceFolder + WorkFileName(WorkFile::Decode, req.Job);
}

// With "SkipDone" on: notes what the output is made from, and true when the output already
// is exactly that, so the file can be passed over.
bool AlreadyDone(Context& ctx)
{
    RunRequest& req = ctx.request;
    req.Provenance.clear();
    if (!ctx.settings.SkipDone) return false;
    req.Provenance = ProvenanceText(ctx.settings, req.SourcePath);
    if (!UpToDate(req.OutputPath, req.SourcePath, req.Provenance)) return false;
    ctx.host.LogLine("Up to date: " + req.OutputPath);
    ctx.host.LogLine("");
    return true;
}

// The steps for one named file, with its folders locked.
void ProcessNamedFile(Context& ctx, ReportRow& facts)
{
    Host& host = ctx.host;
    RunRequest& req = ctx.request;
    const RunSettings& settings = ctx.settings;

    FileRun run(ctx);
    run.Log("Now processing:");
    run.Log(req.SourcePath);

    std::string decodedPath;
    if (EqualsNoCase(req.SourceExt, ".mp3")) {
        if (settings.Encode) {
            ctx.tagsV1 = GetId3v1(req.SourcePath);
            ctx.tagsV2 = GetId3v2(req.SourcePath);
        }
        if (!settings.Amplify && !settings.Trim && settings.Encode) {
            // Nothing to edit: lame goes from MP3 to MP3 directly, with no WAV in between.
            run.Announce("Recoding...");
            const bool recoded = Encoded(ctx, settings.Arguments, req.SourcePath, req.OutputPath);
            run.Log(recoded ? "Recoded OK" : "Could not recode");
            run.Log("");
            host.SetCaption(kIdleCaption);
            return;
        }
        run.Announce("Decoding...");
        req.WorkPath = DecodedName({req.SourceFolder, req.SourceBase, req.SourceExt}, ExistFile);
        if ((settings.Amplify || settings.Trim) && SameFile(req.WorkPath, req.OutputPath))
            req.WorkPath = DecodeTempPath(req);
        if (!Encoded(ctx, kDecodeOption, req.SourcePath, req.WorkPath)) {
            run.EndEarly("Could not decode");
            return;
        }
        run.Log("Decoded OK");
        decodedPath = req.WorkPath;
    } else if (EqualsNoCase(req.SourceExt, ".wav")) {
        req.WorkPath = req.SourcePath;
    } else {
        run.EndEarly("Not a valid file format!");
        return;
    }

    run.Announce("Checking wav file...");
    const double duration = WavTime(ctx, req.WorkPath);
    // A BlockAlign of 0 would leave the frame count undefined; such a header is no valid WAV.
    if (duration < 0 || ctx.wav.BlockAlign <= 0) {
        run.EndEarly("Not a valid wav file!");
        return;
    }
    if (ctx.wav.BitsPerSample != kSupportedBits || ctx.wav.FormatTag != kPcmFormat) {
        run.EndEarly("Only 16-bit pcm wav files supported!");
        return;
    }
    facts.DurationSeconds = duration;
    facts.SampleRate = ctx.wav.SampleRate;
    facts.Channels = ctx.wav.Channels;
    run.Log("wav file info: " + run.Fixed2(duration) + " sec");
    run.Log(std::to_string(ctx.wav.BitsPerSample) + " bits, " + std::to_string(ctx.wav.SampleRate) +
            " samp/s, " + std::to_string(ctx.wav.Channels) + " chan");
    host.Yield();

    // Without the analysis NewLevel is taken as a change from the file's present level.
    double gain = settings.Analyze ? 0 : settings.NewLevel;
    if (settings.Analyze) {
        run.Announce("Analyzing...");
        if (SetFilter(ctx)) {
            double recommended = 0;
            if (Analyzed(ctx, recommended, ctx.wav.DataStart, ctx.wav.DataSize / ctx.wav.BlockAlign)) {
                gain = settings.NewLevel + recommended;
                facts.RecommendedGain = recommended;
                run.Log("Recommended gain: " + run.Fixed2(recommended) + " dB");
                run.LogProcessingTime();
            } else {
                run.Log("Could not analyze");
            }
        }
    }
    host.Yield();

    if (settings.Amplify) {
        host.SetCaption("Leveling...");
        run.Log("Leveling with: " + run.Fixed2(gain) + " dB...");
        const bool leveled = Leveled(ctx, gain);
        // A work file cut short (a full disk) must not go on to be trimmed or encoded in place
        // of the whole song; without it the next steps take the unleveled file.
        if (!leveled) RemoveIfPresent(req.TempPath);
        if (leveled) facts.AppliedGain = gain;
        run.Log(leveled ? "Leveled OK" : "Could not level");
        run.LogProcessingTime();
    }
    host.Yield();

    if (settings.Trim) {
        run.Announce("Trimming...");
        // Trimming rewrites its file in place, so it must never work on the source itself.
        if (!ExistFile(req.TempPath)) CopyFile(req.WorkPath, req.TempPath);
        req.WorkPath = req.TempPath;
        const bool trimmed = Trimmed(ctx);
        run.Log(trimmed ? "Trimmed OK" : "Could not trim");
        if (trimmed) {
            facts.LeadIn = std::max(0.0, settings.Lead[kLeadIn]);
            facts.LeadOut = std::max(0.0, settings.Lead[kLeadOut]);
        }
        run.LogProcessingTime();
    }
    host.Yield();

    if (ExistFile(req.TempPath)) req.WorkPath = req.TempPath;

    run.Announce("Checking wav file...");
    const double finalDuration = WavTime(ctx, req.WorkPath);
    if (finalDuration < 0) {
        run.EndEarly("Not a valid wav file!");
        return;
    }
    run.Log("wav file info: " + run.Fixed2(finalDuration) + " sec");

    if (settings.Encode) {
        run.Announce("Encoding...");
        run.Log(Encoded(ctx, settings.Arguments, req.WorkPath, req.OutputPath) ? "Encoded OK"
                                                                               : "Could not encode");
    } else if (!SameFile(req.WorkPath, req.SourcePath) && ExistFile(req.WorkPath)) {
        // Marked before the move, so the output never shows up without its provenance.
        if (!req.Provenance.empty()) AppendProvenanceChunk(req.WorkPath, req.Provenance);
        if (!SameFile(req.OutputPath, req.WorkPath)) ReplaceByRename(req.WorkPath, req.OutputPath);
    }

    run.LogProcessingTime();
    run.Log("");
    host.Yield();

    if (!SameFile(req.TempPath, req.OutputPath)) RemoveIfPresent(req.TempPath);
    if (!decodedPath.empty() && !SameFile(decodedPath, req.OutputPath) &&
        !SameFile(decodedPath, req.SourcePath)) {
        RemoveIfPresent(decodedPath);
    }
    host.SetCaption(kIdleCaption);
}

}  // namespace

void ProcessFile(Context& ctx, ReportRow* facts)
{
    RunRequest& req = ctx.request;
    ReportRow unused;
    ReportRow& found = facts != nullptr ? *facts : unused;

    // Tags are read only for MP3 sources; emptied here so a WAV encoded after an MP3 never
    // carries that MP3's title.
    ctx.tagsV1 = {};
    ctx.tagsV2 = {};
    NameFiles(ctx);
    found.Output = req.OutputPath;
    if (AlreadyDone(ctx)) {
        found.Status = "skipped";
        return;
    }

    // Held until the file is done: the work file names are the same for every run (for every
    // run's job 0, and so on), so another Varnook process must wait; this process's other jobs
    // have names of their own and share the lock.
    FolderLocks locks;
    // A work file left by a file that ended early in this folder (or by a run that was
    // killed) would be taken for this file's amplified copy.
    if (!locks.Acquire({req.SourceFolder, req.OutputFolder}, ctx.host, *ctx.stop, LockSharing::WithinProcess,
                       RemoveWorkFiles))
        return;
    RemoveIfPresent(req.TempPath);
    RemoveIfPresent(DecodeTempPath(req));

    try {
        ProcessNamedFile(ctx, found);
    } catch (...) {
        // An error the caller reports (an output that could not be moved into place) must not
        // leave the work file behind as well; a failed delete here would only hide that error.
        if (!SameFile(req.TempPath, req.OutputPath)) ::unlink(req.TempPath.c_str());
        ::unlink(DecodeTempPath(req).c_str());
        throw;
    }
}

}  // namespace varnook
