#include "control/pipeline.h"

#include <chrono>

#include <unistd.h>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "control/context.h"
#include "control/conversion_step.h"
#include "control/exist_file.h"
#include "control/folder_lock.h"
#include "control/loudness_step.h"
#include "control/numbers.h"
#include "control/output_naming.h"
#include "control/paths.h"
#include "convert/convert.h"
#include "editing/amplify.h"
#include "editing/trim.h"
#include "encoder/encoder.h"
#include "encoder/lame_arguments.h"
#include "id3/id3_reader.h"
#include "io/file_moves.h"
#include "io/text.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

constexpr const char* kWorkTempName = "VRK.tmp";
// Where an MP3 is decoded when its decoded name is also the output name and an edit follows:
// under the output name the unedited decode would look finished if the run died before the
// edited file replaced it.
constexpr const char* kDecodeTempName = "VRKdec.tmp";
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

// The WAV an MP3 is decoded to, or another format converted to: beside the source, unless that
// name is also the output and an edit follows (see kDecodeTempName).
std::string WorkWavName(const Context& ctx)
{
    const RunRequest& req = ctx.request;
    const std::string beside = DecodedName({req.SourceFolder, req.SourceBase, req.SourceExt}, ExistFile);
    if ((ctx.settings.Amplify || ctx.settings.Trim) && SameFile(beside, req.OutputPath))
        return req.SourceFolder + kDecodeTempName;
    return beside;
}

// The recommended gain by the loudness mode in force, for the whole data of the work WAV.
bool MeasuredGain(Context& ctx, double& recommended)
{
    if (ctx.settings.Loudness == LoudnessMode::R128) {
        const std::optional<double> gain = R128Analyzed(ctx);
        if (gain) recommended = *gain;
        return gain.has_value();
    }
    return Analyzed(ctx, recommended, ctx.wav.DataStart, ctx.wav.DataSize / ctx.wav.BlockAlign);
}

// The steps for one named file, with its folders locked.
void ProcessNamedFile(Context& ctx)
{
    Host& host = ctx.host;
    RunRequest& req = ctx.request;
    const RunSettings& settings = ctx.settings;

    FileRun run(ctx);
    run.Log("Now processing:");
    run.Log(req.SourcePath);

    std::string decodedPath;
    const SourceKind kind = ClassifySource(req.SourcePath, req.SourceExt);
    if (kind == SourceKind::Mp3) {
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
        req.WorkPath = WorkWavName(ctx);
        if (!Encoded(ctx, kDecodeOption, req.SourcePath, req.WorkPath)) {
            run.EndEarly("Could not decode");
            return;
        }
        run.Log("Decoded OK");
        decodedPath = req.WorkPath;
    } else if (kind == SourceKind::Convert) {
        // The tag sets of a converted source (Vorbis comments, FLAC pictures, AIFF ID3 chunks)
        // are to be read here, with the MP3 rules, by the TagLib reader keyed by source path;
        // until that reader is in, a converted source is encoded without tags.
        req.WorkPath = WorkWavName(ctx);
        // Both names beside the source may be taken (an earlier result under "_"): a conversion
        // never writes over a file that is there already.
        if (ExistFile(req.WorkPath)) req.WorkPath = req.SourceFolder + kDecodeTempName;
        if (const std::optional<std::string> failure = ConvertSource(ctx, req.WorkPath)) {
            run.EndEarly(*failure);
            return;
        }
        decodedPath = req.WorkPath;
    } else if (kind == SourceKind::PlainWav) {
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
    run.Log("wav file info: " + run.Fixed2(duration) + " sec");
    run.Log(std::to_string(ctx.wav.BitsPerSample) + " bits, " + std::to_string(ctx.wav.SampleRate) +
            " samp/s, " + std::to_string(ctx.wav.Channels) + " chan");
    host.Yield();

    // Without the analysis NewLevel is taken as a change from the file's present level.
    double gain = settings.Analyze ? 0 : settings.NewLevel;
    if (settings.Analyze) {
        run.Announce("Analyzing...");
        // The r128 mode needs no filter set: libebur128 weights every rate itself.
        if (settings.Loudness == LoudnessMode::R128 || SetFilter(ctx)) {
            double recommended = 0;
            if (MeasuredGain(ctx, recommended)) {
                gain = settings.NewLevel + recommended;
                run.Log("Recommended gain: " + run.Fixed2(recommended) + " dB");
                run.LogProcessingTime();
            } else {
                run.Log("Could not analyze");
            }
        }
    }
    host.Yield();

    if (settings.Amplify) {
        gain = CeiledGain(ctx, gain);
        host.SetCaption("Leveling...");
        run.Log("Leveling with: " + run.Fixed2(gain) + " dB...");
        const bool leveled = Leveled(ctx, gain);
        // A work file cut short (a full disk) must not go on to be trimmed or encoded in place
        // of the whole song; without it the next steps take the unleveled file.
        if (!leveled) RemoveIfPresent(req.TempPath);
        run.Log(leveled ? "Leveled OK" : "Could not level");
        if (leveled) LogTruePeakAfter(ctx);
        run.LogProcessingTime();
    }
    host.Yield();

    if (settings.Trim) {
        run.Announce("Trimming...");
        // Trimming rewrites its file in place, so it must never work on the source itself.
        if (!ExistFile(req.TempPath)) CopyFile(req.WorkPath, req.TempPath);
        req.WorkPath = req.TempPath;
        run.Log(Trimmed(ctx) ? "Trimmed OK" : "Could not trim");
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
    } else if (!SameFile(req.WorkPath, req.SourcePath) && ExistFile(req.WorkPath) &&
               !SameFile(req.OutputPath, req.WorkPath)) {
        ReplaceByRename(req.WorkPath, req.OutputPath);
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

void ProcessFile(Context& ctx)
{
    RunRequest& req = ctx.request;

    // Tags are read only for MP3 sources; emptied here so a WAV encoded after an MP3 never
    // carries that MP3's title.
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
        ProcessNamedFile(ctx);
    } catch (...) {
        // An error the caller reports (an output that could not be moved into place) must not
        // leave the work file behind as well; a failed delete here would only hide that error.
        if (!SameFile(req.TempPath, req.OutputPath)) ::unlink(req.TempPath.c_str());
        ::unlink((req.SourceFolder + kDecodeTempName).c_str());
        throw;
    }
}

}  // namespace varnook
