#include "control/pipeline.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <unistd.h>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "control/folder_lock.h"
#include "control/output_naming.h"
#include "editing/amplify.h"
#include "editing/trim.h"
#include "encoder/encoder.h"
#include "encoder/lame_arguments.h"
#include "id3/id3_reader.h"
#include "io/errors.h"
#include "io/exist_file.h"
#include "io/file_moves.h"
#include "io/numbers.h"
#include "io/paths.h"
#include "io/text.h"
#include "io/work_files.h"
#include "provenance/provenance.h"
#include "report/report_writer.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

// Where an MP3 is decoded when its decoded name is also the output name and an edit follows:
// under the output name the unedited decode would look finished if the run died before the
// edited file replaced it.
std::string DecodeTempPath(const RunRequest& req)
{
    return req.SourceFolder + WorkFileName(WorkFile::Decode, req.Job);
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
constexpr int16_t kPcmFormat = 1;
constexpr int16_t kSupportedBits = 16;

// One file on its way through the steps, in order. Each step returns false when the file ended
// early: its reason is logged, the caption stays where it was and nothing is cleaned up, so the
// leftovers show what got how far.
class FileRun {
public:
    FileRun(Context& ctx, ReportRow& facts)
        : ctx_(ctx), host_(ctx.host), req_(ctx.request), settings_(ctx.settings), facts_(facts),
          start_(std::chrono::steady_clock::now())
    {
    }

    void Run()
    {
        Log("Now processing:");
        Log(req_.SourcePath);
        if (!PrepareSource() || !CheckSource()) return;
        const double gain = Analyse();
        Amplify(gain);
        Trim();
        if (!CheckResult()) return;
        Deliver();
        CleanUp();
    }

private:
    // An MP3 is decoded to a WAV to work on (or, with nothing to edit, recoded directly and
    // done); a WAV is worked on where it is.
    bool PrepareSource()
    {
        if (EqualsNoCase(req_.SourceExt, ".mp3")) return PrepareMp3();
        if (EqualsNoCase(req_.SourceExt, ".wav")) {
            req_.WorkPath = req_.SourcePath;
            return true;
        }
        return EndEarly("Not a valid file format!");
    }

    bool PrepareMp3()
    {
        if (settings_.Encode) {
            ctx_.tagsV1 = GetId3v1(req_.SourcePath, host_);
            ctx_.tagsV2 = GetId3v2(req_.SourcePath, host_);
        }
        if (!settings_.Amplify && !settings_.Trim && settings_.Encode) {
            // Nothing to edit: lame goes from MP3 to MP3 directly, with no WAV in between.
            Announce("Recoding...");
            const bool recoded = Encoded(ctx_, settings_.Arguments, req_.SourcePath, req_.OutputPath);
            Log(recoded ? "Recoded OK" : "Could not recode");
            Log("");
            host_.SetCaption(kIdleCaption);
            return false;
        }
        Announce("Decoding...");
        req_.WorkPath = DecodedName({req_.SourceFolder, req_.SourceBase, req_.SourceExt}, ExistFile);
        if ((settings_.Amplify || settings_.Trim) && SameFile(req_.WorkPath, req_.OutputPath))
            req_.WorkPath = DecodeTempPath(req_);
        if (!Encoded(ctx_, kDecodeOption, req_.SourcePath, req_.WorkPath)) return EndEarly("Could not decode");
        Log("Decoded OK");
        decodedPath_ = req_.WorkPath;
        return true;
    }

    bool CheckSource()
    {
        Announce("Checking wav file...");
        const double duration = WavTime(host_, ctx_.wav, req_.WorkPath);
        // A BlockAlign of 0 would leave the frame count undefined; such a header is no valid WAV.
        if (duration < 0 || ctx_.wav.BlockAlign <= 0) return EndEarly("Not a valid wav file!");
        if (ctx_.wav.BitsPerSample != kSupportedBits || ctx_.wav.FormatTag != kPcmFormat)
            return EndEarly("Only 16-bit pcm wav files supported!");
        facts_.DurationSeconds = duration;
        facts_.SampleRate = ctx_.wav.SampleRate;
        facts_.Channels = ctx_.wav.Channels;
        Log("wav file info: " + Fixed2(duration) + " sec");
        Log(std::to_string(ctx_.wav.BitsPerSample) + " bits, " + std::to_string(ctx_.wav.SampleRate) +
            " samp/s, " + std::to_string(ctx_.wav.Channels) + " chan");
        host_.Yield();
        return true;
    }

    // The gain the amplify step applies. Without the analysis NewLevel is taken as a change
    // from the file's present level.
    double Analyse()
    {
        double gain = settings_.Analyze ? 0 : settings_.NewLevel;
        if (settings_.Analyze) {
            Announce("Analyzing...");
            if (SetFilter(ctx_)) {
                double recommended = 0;
                if (Analyzed(ctx_, recommended, ctx_.wav.DataStart, ctx_.wav.DataSize / ctx_.wav.BlockAlign)) {
                    gain = settings_.NewLevel + recommended;
                    facts_.RecommendedGain = recommended;
                    Log("Recommended gain: " + Fixed2(recommended) + " dB");
                    LogProcessingTime();
                } else {
                    Log("Could not analyze");
                }
            }
        }
        host_.Yield();
        return gain;
    }

    void Amplify(double gain)
    {
        if (settings_.Amplify) {
            host_.SetCaption("Leveling...");
            Log("Leveling with: " + Fixed2(gain) + " dB...");
            const bool leveled = Leveled(ctx_, gain);
            // A work file cut short (a full disk) must not go on to be trimmed or encoded in place
            // of the whole song; without it the next steps take the unleveled file.
            if (!leveled) RemoveIfPresent(req_.TempPath);
            if (leveled) facts_.AppliedGain = gain;
            Log(leveled ? "Leveled OK" : "Could not level");
            LogProcessingTime();
        }
        host_.Yield();
    }

    void Trim()
    {
        if (settings_.Trim) {
            Announce("Trimming...");
            // Trimming rewrites its file in place, so it must never work on the source itself.
            if (!ExistFile(req_.TempPath)) CopyFile(req_.WorkPath, req_.TempPath);
            req_.WorkPath = req_.TempPath;
            const bool trimmed = Trimmed(ctx_);
            Log(trimmed ? "Trimmed OK" : "Could not trim");
            if (trimmed) {
                facts_.LeadIn = std::max(0.0, settings_.Lead[kLeadIn]);
                facts_.LeadOut = std::max(0.0, settings_.Lead[kLeadOut]);
            }
            LogProcessingTime();
        }
        host_.Yield();
    }

    bool CheckResult()
    {
        if (ExistFile(req_.TempPath)) req_.WorkPath = req_.TempPath;
        Announce("Checking wav file...");
        const double duration = WavTime(host_, ctx_.wav, req_.WorkPath);
        if (duration < 0) return EndEarly("Not a valid wav file!");
        Log("wav file info: " + Fixed2(duration) + " sec");
        return true;
    }

    // Encodes the work file to the output, or moves an edited WAV there.
    void Deliver()
    {
        if (settings_.Encode) {
            Announce("Encoding...");
            Log(Encoded(ctx_, settings_.Arguments, req_.WorkPath, req_.OutputPath) ? "Encoded OK"
                                                                                   : "Could not encode");
        } else if (!SameFile(req_.WorkPath, req_.SourcePath) && ExistFile(req_.WorkPath)) {
            // Marked before the move, so the output never shows up without its provenance.
            if (!req_.Provenance.empty()) AppendProvenanceChunk(req_.WorkPath, req_.Provenance);
            if (!SameFile(req_.OutputPath, req_.WorkPath)) ReplaceByRename(req_.WorkPath, req_.OutputPath);
        }
        LogProcessingTime();
        Log("");
        host_.Yield();
    }

    void CleanUp()
    {
        if (!SameFile(req_.TempPath, req_.OutputPath)) RemoveIfPresent(req_.TempPath);
        if (!decodedPath_.empty() && !SameFile(decodedPath_, req_.OutputPath) &&
            !SameFile(decodedPath_, req_.SourcePath)) {
            RemoveIfPresent(decodedPath_);
        }
        host_.SetCaption(kIdleCaption);
    }

    void Log(const std::string& line) { host_.LogLine(line); }

    // A step title goes both to the caption and into the log.
    void Announce(const std::string& title)
    {
        host_.SetCaption(title);
        host_.LogLine(title);
    }

    bool EndEarly(const std::string& reason)
    {
        host_.LogLine(reason);
        host_.LogLine("");
        return false;
    }

    void LogProcessingTime()
    {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        host_.LogLine("Processing time " + Fixed2(elapsed.count()) + " seconds");
    }

    std::string Fixed2(double value) const { return FormatFixed2(value, ctx_.decimalSeparator); }

    Context& ctx_;
    Host& host_;
    RunRequest& req_;
    const RunSettings& settings_;
    ReportRow& facts_;
    std::chrono::steady_clock::time_point start_;
    std::string decodedPath_;  // the decoded WAV of an MP3 source, removed at the end
};

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
    // have names of their own and share the lock. A work file left by a file that ended early
    // in this folder (or by a run that was killed) would be taken for this file's amplified copy.
    FolderLocks locks;
    if (!locks.Acquire({req.SourceFolder, req.OutputFolder}, ctx.host, *ctx.stop, LockSharing::WithinProcess,
                       RemoveWorkFiles))
        return;
    RemoveIfPresent(req.TempPath);
    RemoveIfPresent(DecodeTempPath(req));

    try {
        FileRun(ctx, found).Run();
    } catch (...) {
        // An error the caller reports (an output that could not be moved into place) must not
        // leave the work file behind as well; a failed delete here would only hide that error.
        if (!SameFile(req.TempPath, req.OutputPath)) ::unlink(req.TempPath.c_str());
        ::unlink(DecodeTempPath(req).c_str());
        throw;
    }
}

bool ProcessFileLoggingErrors(Context& ctx, ReportRow* facts)
{
    try {
        ProcessFile(ctx, facts);
        return true;
    } catch (...) {
        const ErrorDescription error = DescribeCurrentException();
        ctx.host.LogLine(std::to_string(error.number) + ": " + error.text);
        ctx.host.LogLine("");
        return false;
    }
}

}  // namespace varnook
