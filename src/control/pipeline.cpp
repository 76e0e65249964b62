#include "control/pipeline.h"

#include <chrono>

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
#include "id3/carry_over.h"
#include "id3/source_tags.h"
#include "io/errors.h"
#include "io/exist_file.h"
#include "io/file_moves.h"
#include "io/numbers.h"
#include "io/paths.h"
#include "io/text.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

constexpr const char* kWorkTempName = "VRK.tmp";
// Where an MP3 is decoded when its decoded name is also the output name and an edit follows:
// under the output name the unedited decode would look finished if the run died before the
// edited file replaced it.
constexpr const char* kDecodeTempName = "VRKdec.tmp";
constexpr int16_t kPcmFormat = 1;
constexpr int16_t kSupportedBits = 16;

// One file on its way through the steps, in order. Each step returns false when the file ended
// early: its reason is logged, the caption stays where it was and nothing is cleaned up, so the
// leftovers show what got how far.
class FileRun {
public:
    explicit FileRun(Context& ctx)
        : ctx_(ctx), host_(ctx.host), req_(ctx.request), settings_(ctx.settings),
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
        if (settings_.Encode) {
            SourceTagSets tags = ReadSourceTagSets(req_.SourcePath, host_);
            ctx_.tagsV1 = std::move(tags.V1);
            ctx_.tagsV2 = std::move(tags.V2);
        }
        if (EqualsNoCase(req_.SourceExt, ".mp3")) return PrepareMp3();
        if (EqualsNoCase(req_.SourceExt, ".wav")) {
            req_.WorkPath = req_.SourcePath;
            return true;
        }
        return EndEarly("Not a valid file format!");
    }

    bool PrepareMp3()
    {
        if (!settings_.Amplify && !settings_.Trim && settings_.Encode) {
            // Nothing to edit: lame goes from MP3 to MP3 directly, with no WAV in between.
            Announce("Recoding...");
            const bool recoded = EncodedWithTags(req_.SourcePath);
            Log(recoded ? "Recoded OK" : "Could not recode");
            Log("");
            host_.SetCaption(kIdleCaption);
            return false;
        }
        Announce("Decoding...");
        req_.WorkPath = DecodedName({req_.SourceFolder, req_.SourceBase, req_.SourceExt}, ExistFile);
        if ((settings_.Amplify || settings_.Trim) && SameFile(req_.WorkPath, req_.OutputPath))
            req_.WorkPath = req_.SourceFolder + kDecodeTempName;
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
            Log(Trimmed(ctx_) ? "Trimmed OK" : "Could not trim");
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
            Log(EncodedWithTags(req_.WorkPath) ? "Encoded OK" : "Could not encode");
        } else if (!SameFile(req_.WorkPath, req_.SourcePath) && ExistFile(req_.WorkPath) &&
                   !SameFile(req_.OutputPath, req_.WorkPath)) {
            ReplaceByRename(req_.WorkPath, req_.OutputPath);
        }
        LogProcessingTime();
        Log("");
        host_.Yield();
    }

    // Encodes (or recodes) to the output, with the source's other tag frames carried into the
    // new MP3 when KeepAllTags is on; a broken frame of the source is left out and named.
    bool EncodedWithTags(const std::string& inFile)
    {
        if (!settings_.KeepAllTags) return Encoded(ctx_, settings_.Arguments, inFile, req_.OutputPath);
        CarriedFrames frames(req_.SourcePath);
        for (const std::string& id : frames.BrokenFrames()) Log("Broken tag frame left out: " + id);
        const TagCarry carry{frames.RoomNeeded(), [&](const std::string& tempOut) {
                                 if (frames.WriteInto(tempOut)) return true;
                                 Log("Could not write the tags");
                                 return false;
                             }};
        return Encoded(ctx_, settings_.Arguments, inFile, req_.OutputPath, &carry);
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
    req.TempPath = req.SourceFolder + kWorkTempName;

    const OutputName output = NameOutput(req.SourcePath, req.DestPath, ctx.settings.Encode, RealFileProbe());
    req.OutputFolder = output.Folder;
    req.OutputBase = output.Base;
    req.OutputExt = output.Ext;
    req.OutputPath = output.Path;
    ctx.settings.Encode = output.Encode;
}

}  // namespace

void ProcessFile(Context& ctx)
{
    RunRequest& req = ctx.request;

    // Emptied here so a source without tags never carries the previous file's title.
    ctx.tagsV1 = {};
    ctx.tagsV2 = {};
    NameFiles(ctx);

    // Held until the file is done: "VRK.tmp" and "mp3.tmp" are the same names for every run.
    FolderLocks locks;
    if (!locks.Acquire({req.SourceFolder, req.OutputFolder}, ctx.host, *ctx.stop)) return;
    // A work file left by a file that ended early in this folder (or by a run that was
    // killed) would be taken for this file's amplified copy.
    RemoveIfPresent(req.TempPath);
    RemoveIfPresent(req.SourceFolder + kDecodeTempName);

    try {
        FileRun(ctx).Run();
    } catch (...) {
        // An error the caller reports (an output that could not be moved into place) must not
        // leave the work file behind as well; a failed delete here would only hide that error.
        if (!SameFile(req.TempPath, req.OutputPath)) ::unlink(req.TempPath.c_str());
        ::unlink((req.SourceFolder + kDecodeTempName).c_str());
        throw;
    }
}

bool ProcessFileLoggingErrors(Context& ctx)
{
    try {
        ProcessFile(ctx);
        return true;
    } catch (...) {
        const ErrorDescription error = DescribeCurrentException();
        ctx.host.LogLine(std::to_string(error.number) + ": " + error.text);
        ctx.host.LogLine("");
        return false;
    }
}

}  // namespace varnook
