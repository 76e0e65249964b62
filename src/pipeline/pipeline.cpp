#include "pipeline/pipeline.h"

#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "base/trim_picture.h"
#include "pipeline/album_link.h"
#include "pipeline/conversion_step.h"
#include "pipeline/folder_lock.h"
#include "pipeline/loudness_step.h"
#include "pipeline/output_naming.h"
#include "convert/convert.h"
#include "editing/amplify.h"
#include "editing/trim.h"
#include "encoder/encoder.h"
#include "encoder/lame_arguments.h"
#include "encoder/library_encoder.h"
#include "id3/carry_over.h"
#include "id3/output_tags.h"
#include "id3/source_tags.h"
#include "io/errors.h"
#include "io/exist_file.h"
#include "io/file_moves.h"
#include "io/numbers.h"
#include "io/paths.h"
#include "io/text.h"
#include "io/work_file.h"
#include "io/work_files.h"
#include "provenance/provenance.h"
#include "report/report_writer.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

// Where an MP3 (or another format) is decoded: a work file of Varnook's own, never a name the
// user may hold (an earlier output, another source), and one a later run removes when this one is
// killed. Each job has its own. Like every work file it goes beside the output, where Varnook
// may write, and never beside a source that is elsewhere, which may be read-only.
std::string DecodeTempPath(const RunRequest& req)
{
    return req.OutputFolder + WorkFileName(WorkFile::Decode, req.Job);
}

// True when `path` names one of the run's sources, which a clean-up must never remove.
bool IsRunSource(const RunRequest& req, const std::string& path)
{
    return req.RunSources && req.RunSources->Contains(path);
}

// Every job's work files in a folder no job is at work in (its lock was just taken), once a run:
// a killed run with several jobs leaves names that a run with fewer would never reuse and so
// never clean up, and a sweep at every file would make a file's cost grow with the files beside
// it. A source of the run named like a work file stays (it is refused on its own). One that will
// not go, or is no file or link of ours (a FIFO, a device), is left: the file's own work files
// are removed again, with their errors reported, just after.
void SweepOnce(const RunRequest& req, const std::string& folder)
{
    if (req.Swept && !req.Swept->FirstTime(folder)) return;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string path = it->path().string();
        if (!IsWorkFileName(it->path().filename().string()) || IsRunSource(req, path)) continue;
        try {
            RemoveWorkFile(path);
        } catch (const FileError&) {
        }
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
    if (const AlbumLink* album = req.Album.get()) {
        // An album's outputs are up to date together or not at all.
        const std::string members = album->Provenance();
        req.Provenance = members.empty() ? std::string() : req.Provenance + members;
        if (!album->UpToDate()) return false;
    } else if (!UpToDate(req.OutputPath, req.SourcePath, req.Provenance)) {
        return false;
    }
    ctx.host.LogLine("Up to date: " + req.OutputPath);
    ctx.host.LogLine("");
    return true;
}
constexpr int16_t kPcmFormat = 1;
constexpr int16_t kSupportedBits = 16;
// The rates a measuring copy is made at: the CD's for its multiples, the studio's for the rest.
constexpr int32_t kCdRate = 44100;
constexpr int32_t kStudioRate = 48000;
constexpr const char* kTagsNotWritten = "Could not write the tags";

// Removes the work files of a file that ended (or of a run that was killed) in these folders,
// but never one that is this file's output or a source of the run.
void RemoveWorkFiles(const RunRequest& req)
{
    for (const std::string& work : {req.TempPath, DecodeTempPath(req), req.OutputFolder + WorkFileName(WorkFile::Encode, req.Job),
                                    req.OutputFolder + WorkFileName(WorkFile::Measure, req.Job)}) {
        if (!SameFile(work, req.OutputPath) && !SameFile(work, req.SourcePath) && !IsRunSource(req, work))
            RemoveWorkFile(work);
    }
}

// Why the source cannot be taken at all, or empty. Asked before anything in its folder is
// touched: a source named like a work file would be deleted as a leftover, and a FIFO or a
// device would block or never end when read. (A folder goes on, to be refused by its name.)
std::string SourceRefusal(const RunRequest& req)
{
    const std::string name = req.SourceBase + req.SourceExt;
    if (IsWorkFileName(name)) return "Not a valid file: named like a work file of Varnook";
    struct stat st {};
    if (::stat(req.SourcePath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return "Not a valid file: not a regular file";
    return {};
}

// One file on its way through the steps, in order, noting in the file's result how each ended.
// Each step returns false when the file ended early: its reason is logged, the caption stays
// where it was and nothing is cleaned up (but after a failed trim), so the leftovers show what
// got how far until the next run removes them. A stop is different: nothing of the file is
// worth keeping, so its work files go at once.
class FileRun {
public:
    FileRun(Context& ctx, FileResult& result)
        : ctx_(ctx), host_(ctx.host), req_(ctx.request), settings_(ctx.settings), result_(result),
          facts_(result.Facts), start_(std::chrono::steady_clock::now())
    {
    }

    void Run()
    {
        Log("Now processing:");
        Log(req_.SourcePath);
        if (!PrepareSource() || !CheckSource()) return;
        const double gain = Analyse();
        // A stop ends the file after the step it cut short; the next steps would only work on
        // a file nobody wants any more.
        if (Stopped()) return;
        Amplify(gain);
        if (Stopped()) return;
        if (!Trim() || Stopped() || !CheckResult()) return;
        Deliver();
        CleanUp();
    }

private:
    // An MP3 is decoded to a WAV to work on (or, with nothing to edit, recoded directly and
    // done); FLAC, Ogg, Opus, AIFF and the WAVs the header check refuses are converted to one; a
    // plain 16-bit WAV is worked on where it is. Every output carries the source's tags.
    bool PrepareSource()
    {
        SourceTagSets tags = ReadSourceTagSets(req_.SourcePath, host_);
        ctx_.tagsV1 = std::move(tags.V1);
        ctx_.tagsV2 = std::move(tags.V2);
        switch (ClassifySource(req_.SourcePath, req_.SourceExt)) {
        case SourceKind::Mp3: return PrepareMp3();
        case SourceKind::Convert: return PrepareConverted();
        case SourceKind::PlainWav: req_.WorkPath = req_.SourcePath; return true;
        case SourceKind::Unknown: break;
        }
        return EndEarly("Not a valid file format!");
    }

    bool PrepareConverted()
    {
        // Like a decode, into Varnook's own work file.
        req_.WorkPath = DecodeTempPath(req_);
        std::string failure;
        const StepEnd end = ConvertSource(ctx_, req_.WorkPath, failure);
        if (end == StepEnd::Stopped) NoteStopped();
        return end == StepEnd::Finished || EndEarly(failure);
    }

    bool PrepareMp3()
    {
        if (!settings_.Amplify && !settings_.Trim && settings_.Encode && settings_.Output == OutputFormat::Mp3) {
            // Nothing to edit: lame goes from MP3 to MP3 directly, with no WAV in between.
            Announce("Recoding...");
            if (EncodedWithTags(req_.SourcePath, "Recoded OK", "Could not recode") ==
                StepEnd::Finished) {
                result_.Delivered = req_.OutputPath;
                HoldCeiling(req_.SourcePath, "Recoded OK", "Could not recode");
            }
            Log("");
            host_.SetCaption(kIdleCaption);
            return false;
        }
        Announce("Decoding...");
        req_.WorkPath = DecodeTempPath(req_);
        if (EncodedAndLogged(kDecodeOption, req_.SourcePath, req_.WorkPath, "Decoded OK", "Could not decode") !=
            StepEnd::Finished) {
            Log("");
            return false;
        }
        return true;
    }

    // Runs lame as Encoded does and logs `done` or `failed`; a failure is followed by lame's own
    // last error line, which tells the user why ("lame: unrecognized option --bogus").
    StepEnd EncodedAndLogged(const std::string& options, const std::string& inFile, const std::string& outFile,
                             const char* done, const char* failed, const TagCarry* carry = nullptr)
    {
        std::string encoderError;
        const StepEnd end = Encoded(ctx_, options, inFile, outFile, &encoderError, carry);
        Log(end == StepEnd::Finished ? done : failed);
        if (end != StepEnd::Finished && !encoderError.empty()) Log(encoderError);
        Ended(end, failed);
        return end;
    }

    bool CheckSource()
    {
        Announce("Checking wav file...");
        // A header repair that a read-only source refuses is made in a work copy instead.
        const double duration = WavTime(host_, ctx_.wav, req_.WorkPath, [this] {
            CopyFile(req_.WorkPath, DecodeTempPath(req_));
            return req_.WorkPath = DecodeTempPath(req_);
        });
        // A BlockAlign of 0 would leave the frame count undefined; such a header is no valid WAV.
        if (duration < 0 || ctx_.wav.BlockAlign <= 0) return EndEarly("Not a valid wav file!");
        const bool keptDepth = req_.KeepDepth && ctx_.wav.BitsPerSample == kDeepBits;
        if ((ctx_.wav.BitsPerSample != kSupportedBits && !keptDepth) || ctx_.wav.FormatTag != kPcmFormat)
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
            // The r128 mode needs no filter set: libebur128 weights every rate itself.
            const bool r128 = settings_.Loudness == LoudnessMode::R128;
            if (!r128) MakeMeasuringCopy(req_.WorkPath);
            if (r128 || SetFilter(ctx_)) {
                double recommended = 0;
                TrackMeasure measure;
                const StepEnd end = MeasuredGain(recommended, req_.Album ? &measure : nullptr);
                if (end == StepEnd::Finished) {
                    gain = settings_.NewLevel + recommended;
                    if (settings_.Loudness == LoudnessMode::R128) aim_ = settings_.Target + settings_.NewLevel;
                    facts_.RecommendedGain = recommended;
                    Log("Recommended gain: " + Fixed2(recommended) + " dB");
                    LogProcessingTime();
                    if (req_.Album) gain = AlbumGain(recommended, std::move(measure));
                } else {
                    Log("Could not analyze");
                }
                Ended(end, "Could not analyze");
            } else {
                NoteFailure(kNoFilter);
            }
            DropMeasuringCopy();
        }
        host_.Yield();
        return gain;
    }

    // A 24-bit work file at a rate without a filter (88.2 or 96 kHz) is measured in a copy at
    // 44.1 or 48 kHz; the gain is still applied to the work file at its own rate. A 16-bit work
    // file never needs one: the conversion brought its rate to one with a filter.
    void MakeMeasuringCopy(const std::string& path)
    {
        const WavInfo& wav = ctx_.wav;
        if (wav.BitsPerSample != kDeepBits || FilterForRate(wav.SampleRate)) return;
        const int32_t rate = wav.SampleRate % kCdRate == 0 ? kCdRate : kStudioRate;
        MeasuringCopy copy{req_.OutputFolder + WorkFileName(WorkFile::Measure, req_.Job), {}, wav.DataStart,
                           wav.BlockAlign, wav.SampleRate};
        copy.Wav = WriteResampledCopy(path, wav, copy.Path, rate);
        ctx_.measuringCopy = std::move(copy);
    }

    void DropMeasuringCopy()
    {
        if (!ctx_.measuringCopy) return;
        RemoveWorkFile(ctx_.measuringCopy->Path);
        ctx_.measuringCopy.reset();
    }

    // The recommended gain by the loudness mode in force, for the whole data of the work WAV;
    // `measure`, when given, gets what an album pools.
    StepEnd MeasuredGain(double& recommended, TrackMeasure* measure)
    {
        if (settings_.Loudness == LoudnessMode::R128) {
            const std::optional<double> gain = R128Analyzed(ctx_, measure ? &measure->Blocks : nullptr);
            if (gain) recommended = *gain;
            return gain ? StepEnd::Finished : StepEnd::Failed;
        }
        return Analyzed(ctx_, recommended, ctx_.wav.DataStart, ctx_.wav.DataSize / ctx_.wav.BlockAlign,
                        measure ? &measure->Windows : nullptr);
    }

    // A track of an album is leveled by the album's gain, known once every track has been
    // measured: its measure goes to the album, and the file waits. Its true peak is measured
    // first, since the album's ceiling needs every track's. A stop while waiting leaves the gain
    // of its own, which the stop keeps from being applied.
    double AlbumGain(double recommended, TrackMeasure measure)
    {
        measure.RecommendedGain = recommended;
        measure.TruePeak = facts_.TruePeakBefore = LogTruePeakBefore(ctx_);
        const std::optional<double> album = req_.Album->Gain(std::move(measure));
        if (!album) return settings_.NewLevel + recommended;
        albumLeveled_ = true;
        ctx_.AlbumShift = *album - recommended;
        // The limit mode's passes aim the track where the album's gain puts it, not at the target.
        if (aim_) *aim_ += ctx_.AlbumShift;
        if (!req_.Provenance.empty()) req_.Provenance += AlbumGainText(*album);
        return settings_.NewLevel + *album;
    }

    // In the limit mode the whole gain goes on and the limiter holds the ceiling; otherwise a
    // ceiling lowers the gain.
    void Amplify(double gain)
    {
        if (settings_.Amplify) {
            const std::optional<double> limitTo =
                settings_.Peaks == PeakMode::Limit ? TruePeakCeiling(settings_) : std::nullopt;
            // An album's gain is under the ceiling already, lowered for all its tracks at once.
            if (!limitTo && !albumLeveled_) gain = CeiledGain(ctx_, gain, facts_.TruePeakBefore);
            bool leveled = Level(gain, limitTo);
            std::vector<LevelingPass> passes;
            while (leveled) {
                const std::optional<double> next = GainMakingUp(gain, passes);
                if (!next) break;
                gain = *next;
                leveled = Level(gain, limitTo);
            }
            if (leveled) facts_.TruePeakAfter = LogTruePeakAfter(ctx_);
            LogProcessingTime();
        }
        host_.Yield();
    }

    // One pass of the amplify step, from the work file to the work copy; false when it did not
    // finish.
    bool Level(double gain, std::optional<double> limitTo)
    {
        host_.SetCaption("Leveling...");
        Log("Leveling with: " + Fixed2(gain) + " dB...");
        LevelFindings findings;
        const StepEnd end = Leveled(ctx_, gain, &findings, limitTo);
        const bool leveled = end == StepEnd::Finished;
        // A work file cut short (a full disk) must not go on to be trimmed or encoded in place
        // of the whole song; without it the next steps take the unleveled file.
        if (!leveled) RemoveWorkFile(req_.TempPath);
        if (leveled) NoteLevelFindings(gain, findings);
        Log(leveled ? "Leveled OK" : "Could not level");
        if (leveled && limitTo) {
            facts_.LimiterReductionDb = findings.LimiterReductionDb;
            facts_.SecondsLimiting = findings.SecondsLimiting;
            Log("Limited by: " + Fixed2(findings.LimiterReductionDb) + " dB for " +
                Fixed2(findings.SecondsLimiting) + " seconds");
        }
        Ended(end, "Could not level");
        return leveled;
    }

    // In the limit mode, after a pass whose cuts went deeper than kLoudnessTolerance (shallower
    // ones cannot cost more), the leveled file is measured; the gain of another pass when it
    // missed the loudness aimed at (see NextLevelingGain).
    std::optional<double> GainMakingUp(double gain, std::vector<LevelingPass>& passes)
    {
        if (!aim_ || facts_.LimiterReductionDb.value_or(0) <= kLoudnessTolerance) return std::nullopt;
        const std::optional<double> loudness = IntegratedLoudness(ctx_, req_.TempPath);
        if (!loudness || !std::isfinite(*loudness)) return std::nullopt;
        passes.push_back({gain, *loudness});
        const std::optional<double> next = NextLevelingGain(passes, *aim_);
        Log("Loudness after limiting: " + LevelText(ctx_, *loudness) + " LUFS" + (next ? ", leveling again" : ""));
        return next;
    }

    void NoteLevelFindings(double gain, const LevelFindings& findings)
    {
        facts_.AppliedGain = gain;
        facts_.PeakBefore = PeakDbfs(findings.PeakBefore, findings.FullScale);
        facts_.PeakAfter = PeakDbfs(findings.PeakAfter, findings.FullScale);
        facts_.HalfWavesLimited = findings.HalfWavesLimited;
    }

    // False after a failed trim, which delivers nothing: a trim that failed part way leaves a
    // file cut at the start but not at the end, and even an untouched copy is not what was
    // asked for. The old output stays.
    bool Trim()
    {
        if (settings_.Trim) {
            Announce("Trimming...");
            // Trimming rewrites its file in place, so it must never work on the source itself.
            if (!ExistFile(req_.TempPath)) CopyFile(req_.WorkPath, req_.TempPath);
            req_.WorkPath = req_.TempPath;
            TrimFindings findings;
            MakeMeasuringCopy(req_.WorkPath);
            const StepEnd end = Trimmed(ctx_, &findings);
            DropMeasuringCopy();
            const bool trimmed = end == StepEnd::Finished;
            Log(trimmed ? "Trimmed OK" : "Could not trim");
            // The step's own words come first: they say why ("No filter for this frequency").
            if (!findings.Failure.empty() && end != StepEnd::Stopped) NoteFailure(findings.Failure);
            Ended(end, "Could not trim");
            if (trimmed) {
                // The silence the step wrote: none when it left the file as it was.
                const TrimPicture& picture = findings.Picture;
                facts_.LeadIn = picture.Complete ? picture.LeadIn : 0;
                facts_.LeadOut = picture.Complete ? picture.LeadOut : 0;
                if (picture.Complete) {
                    facts_.CutIn = picture.CutIn;
                    facts_.CutOut = picture.CutOut;
                    if (!picture.PlotPath.empty()) facts_.Plot = picture.PlotPath;
                }
            }
            LogProcessingTime();
            if (!trimmed) {
                Log("");
                CleanUp();
                return false;
            }
        }
        host_.Yield();
        return true;
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
        // An output made after a failure (the analysis failed, so the song was leveled by the
        // new level alone) is not what these settings make: left unmarked, a later run with
        // SkipDone makes it again instead of passing it over for ever.
        if (result_.Outcome == FileOutcome::Failed) req_.Provenance.clear();
        if (settings_.Encode) {
            Announce("Encoding...");
            if (EncodedWithTags(req_.WorkPath, "Encoded OK", "Could not encode") ==
                StepEnd::Finished) {
                result_.Delivered = req_.OutputPath;
                // Only a lossy output is checked again: a lossless one (the outputs that keep the
                // source's depth) is the work file's samples, whose true peak amplify has held.
                if (!KeepsSourceDepth(settings_.Output)) HoldCeiling(req_.WorkPath, "Encoded OK", "Could not encode");
            }
        } else if (!SameFile(req_.WorkPath, req_.SourcePath) && ExistFile(req_.WorkPath) && TaggedWav()) {
            // Marked before the move, so the output never shows up without its provenance; the
            // source's own record (a copied output), which the edits kept, is dropped either way.
            MarkWavProvenance(req_.WorkPath, req_.Provenance);
            if (!SameFile(req_.OutputPath, req_.WorkPath)) ReplaceByRename(req_.WorkPath, req_.OutputPath);
            result_.Delivered = req_.OutputPath;
        }
        LogProcessingTime();
        Log("");
        host_.Yield();
    }

    // Encodes (or recodes) to the output, with the source's other tag frames carried into the
    // new MP3 when KeepAllTags is on (a broken frame of the source is left out and named), and
    // lame's comment frames mended either way; the other formats through their libraries.
    // The samples are multiplied by `gain` as the encoder reads them: for lame through its
    // --scale, which it applies in floating point, so the work file is neither leveled nor
    // trimmed again nor rounded once more, and an MP3 recoded from its source is changed alike.
    StepEnd EncodedWithTags(const std::string& inFile, const char* done, const char* failed, double gain = 1)
    {
        CarriedFrames frames = FramesToCarry();
        if (settings_.Output != OutputFormat::Mp3) return EncodedByLibraryWithTags(frames, done, failed, gain);
        const TagCarry carry{frames.RoomNeeded(),
                             [&](const std::string& tempOut) { return TagsWritten(frames.WriteInto(tempOut)); }};
        std::string options = settings_.Arguments;
        if (gain != 1) options += " --scale " + FormatGeneral(gain, '.');
        return EncodedAndLogged(options, inFile, req_.OutputPath, done, failed, &carry);
    }

    // The work WAV (which CheckResult has just read) to a FLAC, Opus or Ogg Vorbis output, tagged
    // with the seven fields, the carried frames and the provenance before it takes the output's
    // name.
    StepEnd EncodedByLibraryWithTags(const CarriedFrames& frames, const char* done, const char* failed, double gain)
    {
        const Id3TagSet fields = KeptTags(settings_.KeepTag, ctx_.tagsV2, ctx_.tagsV1);
        const TagCarry carry{OutputTagRoom(fields, frames), [&](const std::string& tempOut) {
                                 return TagsWritten(
                                     WriteOutputTags(tempOut, settings_.Output, fields, frames, req_.Provenance));
                             }};
        const StepEnd end = EncodedByLibrary(settings_.Output, settings_.Codec, req_.WorkPath, ctx_.wav,
                                             req_.OutputPath, req_.Job, host_, *ctx_.stop, &carry, gain);
        Log(end == StepEnd::Finished ? done : failed);
        Ended(end, failed);
        return end;
    }

    // Tags the edited WAV, which is Varnook's own work file, before it becomes the output; false
    // when they could not be written, and it is then not delivered.
    bool TaggedWav()
    {
        const Id3TagSet fields = KeptTags(settings_.KeepTag, ctx_.tagsV2, ctx_.tagsV1);
        return TagsWritten(WriteOutputTags(req_.WorkPath, OutputFormat::Wav, fields, FramesToCarry()));
    }

    // The source's other tag frames when KeepAllTags is on; a broken frame is left out and named.
    CarriedFrames FramesToCarry()
    {
        CarriedFrames frames = settings_.KeepAllTags ? CarriedFrames(req_.SourcePath) : CarriedFrames();
        for (const std::string& id : frames.BrokenFrames()) Log("Broken tag frame left out: " + id);
        return frames;
    }

    // With a ceiling in force, the ceiling (and in the limit mode the loudness aimed at) held
    // on the delivered lossy file, encoded again with a gain where it is not: a lossy codec's
    // error adds peaks the work file did not have. The report's true peak is the delivered
    // file's.
    void HoldCeiling(const std::string& inFile, const char* done, const char* failed)
    {
        const std::optional<double> ceiling = TruePeakCeiling(settings_);
        if (!ceiling) return;
        const std::optional<double> aim = settings_.Peaks == PeakMode::Limit ? aim_ : std::nullopt;
        const DeliveryCheck check = CheckedDelivery(ctx_, req_.OutputPath, *ceiling, aim, [&](double change) {
            return EncodedWithTags(inFile, done, failed, std::pow(10.0, change / 20)) == StepEnd::Finished;
        });
        facts_.TruePeakAfter = check.TruePeak;
        if (facts_.AppliedGain) *facts_.AppliedGain += check.Change;
        if (!check.Failure.empty()) NoteFailure(check.Failure);
    }

    // Says so when tags could not be written: the file ends failed.
    bool TagsWritten(bool written)
    {
        if (written) return true;
        Log(kTagsNotWritten);
        NoteFailure(kTagsNotWritten);
        return false;
    }

    void CleanUp()
    {
        RemoveWorkFiles(req_);
        host_.SetCaption(kIdleCaption);
    }

    void Log(const std::string& line) { host_.LogLine(line); }

    // A step title goes both to the caption and into the log.
    void Announce(const std::string& title)
    {
        host_.SetCaption(title);
        host_.LogLine(title);
    }

    // Between steps: true when the step before was stopped, or a stop was asked for while it
    // ran to its end. Unlike an early end, nothing of the file is worth keeping, so the work
    // files go (the work copy, and the decoded WAV of an MP3 source).
    bool Stopped()
    {
        if (result_.Outcome != FileOutcome::Stopped && !ctx_.stop->Requested()) return false;
        NoteStopped();
        host_.LogLine("");
        return true;
    }

    // Notes how a step ended: a failure in `failure`, the step's words.
    void Ended(StepEnd end, const std::string& failure)
    {
        if (end == StepEnd::Failed) NoteFailure(failure);
        if (end == StepEnd::Stopped) NoteStopped();
    }

    // The first failure gives the reason; the file may still go on.
    void NoteFailure(const std::string& reason)
    {
        if (result_.Reason.empty()) result_.Reason = reason;
        if (result_.Outcome != FileOutcome::Stopped) result_.Outcome = FileOutcome::Failed;
    }

    void NoteStopped()
    {
        result_.Outcome = FileOutcome::Stopped;
        RemoveWorkFiles(req_);
    }

    bool EndEarly(const std::string& reason)
    {
        host_.LogLine(reason);
        host_.LogLine("");
        if (result_.Outcome != FileOutcome::Stopped) NoteFailure(reason);
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
    FileResult& result_;
    ReportRow& facts_;
    std::chrono::steady_clock::time_point start_;
    // The loudness in LUFS the r128 analysis aims the file at, once it has measured it.
    std::optional<double> aim_;
    bool albumLeveled_ = false;
};

// Sets the Run request's derived paths for this source; the output name chooses the format
// (Output, and Encode off for a WAV).
void NameFiles(Context& ctx)
{
    RunRequest& req = ctx.request;
    const PathParts source = SplitPath(req.SourcePath);
    req.SourceBase = source.Base;
    req.SourceExt = source.Ext;
    req.WorkPath.clear();

    const OutputName output = NameOutput(req.SourcePath, req.DestPath, ChosenOutput(ctx.settings), RealFileProbe());
    req.OutputFolder = output.Folder;
    req.OutputBase = output.Base;
    req.OutputExt = output.Ext;
    req.OutputPath = output.Path;
    req.TempPath = req.OutputFolder + WorkFileName(WorkFile::Edit, req.Job);
    // From here on the delivered format is known, and with it whether the work file may keep a
    // deeper source's depth and rate (a FLAC or WAV output holds them).
    DeliverAs(ctx.settings, output.Format);
    req.KeepDepth = KeepsSourceDepth(output.Format);
}

// The output's name and format, for the report.
void NoteOutput(const Context& ctx, ReportRow& found)
{
    found.Output = ctx.request.OutputPath;
    found.Format = OutputFormatName(ctx.settings.Output);
}

// ProcessFile up to an error a step raised.
void RunFile(Context& ctx, FileResult& result)
{
    RunRequest& req = ctx.request;
    ReportRow& found = result.Facts;

    NameFiles(ctx);
    if (const std::string refusal = SourceRefusal(req); !refusal.empty()) {
        for (const std::string& line : {std::string("Now processing:"), req.SourcePath, refusal, std::string()})
            ctx.host.LogLine(line);
        result.Outcome = FileOutcome::Failed;
        result.Reason = refusal;
        return;
    }
    NoteOutput(ctx, found);
    if (AlreadyDone(ctx)) {
        result.Outcome = FileOutcome::Skipped;
        result.Delivered = req.OutputPath;
        return;
    }

    // Held until the file is done: every work file is in the output's folder, under names that
    // are the same for every run (for every run's job 0, and so on), so another Varnook process
    // must wait; this process's other jobs have names of their own and share the lock. The
    // names need no second look once it is held: none of them depends on what another run does
    // in the folders, since a destination folder is made before the run. A lock given up on is
    // given up on for a stop.
    FolderLocks locks;
    if (!locks.Acquire({req.OutputFolder}, ctx.host, *ctx.stop, LockSharing::WithinProcess,
                       [&req](const std::string& folder) { SweepOnce(req, folder); })) {
        result.Outcome = FileOutcome::Stopped;
        return;
    }
    // Work files left by a file that ended early in this folder (or by a run that was killed)
    // would be taken for this file's own.
    RemoveWorkFiles(req);

    try {
        FileRun(ctx, result).Run();
    } catch (...) {
        // An error reported below (an output that could not be moved into place) must not leave
        // the work files behind as well; a failed delete here would only hide that error.
        try {
            RemoveWorkFiles(req);
        } catch (...) {
        }
        throw;
    }
}

// Why `path` cannot be written now, in plain words, or empty. Looked at after a failure: the
// step's error ("75: Path/File access error") does not say which file, nor why.
std::string OutputBlock(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "a folder of that name is in the way";
    const std::string folder = SplitPath(path).Folder;
    if (folder.empty() || ::access(folder.c_str(), W_OK) == 0) return {};
    if (errno == ENOENT) return "its folder does not exist";
    return "its folder cannot be written (" + std::string(std::strerror(errno)) + ")";
}

// The plain words of a failure that the step's own words hide (see FileResult::PlainReason).
std::string PlainReason(const RunRequest& req, const FileResult& result)
{
    if (result.Outcome != FileOutcome::Failed) return {};
    if (!ExistFile(req.SourcePath)) return "File not found";
    if (!result.Delivered.empty() || req.OutputPath.empty()) return {};
    const std::string block = OutputBlock(req.OutputPath);
    return block.empty() ? std::string() : "Could not write " + req.OutputPath + ": " + block;
}

}  // namespace

FileResult ProcessFile(Context& ctx)
{
    FileResult result;
    try {
        RunFile(ctx, result);
    } catch (...) {
        const ErrorDescription error = DescribeCurrentException();
        const std::string line = std::to_string(error.number) + ": " + error.text;
        ctx.host.LogLine(line);
        ctx.host.LogLine("");
        if (result.Reason.empty()) result.Reason = line;
        result.Outcome = FileOutcome::Failed;
    }
    result.PlainReason = PlainReason(ctx.request, result);
    return result;
}

}  // namespace varnook
