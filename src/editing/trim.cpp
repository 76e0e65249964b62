#include "editing/trim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "base/trim_picture.h"
#include "io/guarded.h"
#include "editing/sample_rounding.h"
#include "editing/truncate.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

constexpr int64_t kPieceSamples = 8192;  // unit in which fades are written
constexpr int64_t kPieceBytes = 2 * kPieceSamples;
constexpr double kWindowSeconds = 0.05;
// The chunk that hides the audio before the lead-in: players skip a chunk they do not know.
constexpr std::string_view kHiddenStartId = "tRsH";
constexpr const char* kProcedure = "Trimmed";
// How often the host sees the picture grow while windows are measured: once a second of audio.
constexpr size_t kWindowsPerPictureUpdate = 20;
constexpr const char* kCutFailed = "Could not set new EOF";

// Whole bytes for `seconds` of sound: rounded to the nearest byte (halves to even), then cut
// to whole frames. Empty when the length cannot be a size in a WAV file; a negative length
// gives no silence at all.
std::optional<int64_t> LeadBytes(int32_t byteRate, int16_t blockAlign, double seconds)
{
    const double bytes = std::nearbyint(byteRate * std::max(0.0, seconds));
    if (!(bytes <= static_cast<double>(kMaxWavFileLength))) return std::nullopt;
    const auto whole = static_cast<int64_t>(bytes);
    return whole / blockAlign * blockAlign;
}

// The factor of the i-th sample of a fade `length` bytes long, of samples `width` bytes wide. The
// fade-in rises in equal steps from width / length for the first sample to exactly 1 for the
// last; the fade-out falls from (length - width) / length to exactly 0. In stereo the two samples
// of a frame are one step apart.
double FadeInFactor(int64_t i, int64_t length, int width)
{
    return static_cast<double>(width * (i + 1)) / static_cast<double>(length);
}

double FadeOutFactor(int64_t i, int64_t length, int width)
{
    return static_cast<double>(length - width * (i + 1)) / static_cast<double>(length);
}

// Multiplies the samples of `length` bytes from `from` on, each `width` bytes wide (2 or 3), the
// i-th by factorOf(i), rounding each to the nearest sample with halves to even; read, scaled and
// written back a piece at a time.
template <typename FactorOf>
void ScaleSamples(File& file, int64_t from, int64_t length, int width, FactorOf factorOf)
{
    const int64_t samples = length / width;
    std::vector<uint8_t> piece(static_cast<size_t>(std::min(samples, kPieceSamples) * width));
    for (int64_t done = 0; done < samples;) {
        const int64_t n = std::min(samples - done, kPieceSamples);
        const std::span bytes = std::span(piece).first(static_cast<size_t>(n * width));
        const int64_t at = from + width * done;
        file.ReadExactAt(at, bytes);
        for (int64_t i = 0; i < n; ++i) {
            uint8_t* sample = bytes.data() + width * i;
            if (width == 2)
                StoreLE16(sample, RoundToSample(LoadLE16(sample) * factorOf(done + i)));
            else
                StoreLE24(sample, RoundToWhole(LoadLE24(sample) * factorOf(done + i)));
        }
        file.WriteAt(at, bytes);
        done += n;
    }
}

// Moves `length` bytes from `from` to `to` in the same file. The ranges may overlap: the copy
// runs from the far end when the bytes move outwards, so no byte is overwritten before it has
// been read, and the memory used is one piece whatever the length.
void MoveBytes(File& file, int64_t from, int64_t to, int64_t length)
{
    if (length <= 0 || from == to) return;
    std::vector<uint8_t> piece(static_cast<size_t>(std::min(length, kPieceBytes)));
    for (int64_t done = 0; done < length;) {
        const int64_t n = std::min(length - done, kPieceBytes);
        const int64_t offset = to < from ? done : length - done - n;
        const std::span bytes = std::span(piece).first(static_cast<size_t>(n));
        file.ReadExactAt(from + offset, bytes);
        file.WriteAt(to + offset, bytes);
        done += n;
    }
}

void WriteId(File& file, int64_t at, std::string_view id)
{
    file.WriteAt(at, std::span(reinterpret_cast<const uint8_t*>(id.data()), id.size()));
}

void WriteSize(File& file, int64_t at, int64_t value)
{
    uint8_t bytes[kChunkSizeBytes];
    StoreLE32(bytes, static_cast<int32_t>(value));
    file.WriteAt(at, bytes);
}

class Trimmer {
public:
    explicit Trimmer(Context& ctx)
        : ctx_(ctx),
          host_(ctx.host),
          wav_(ctx.wav),
          winFrames_(static_cast<int64_t>(std::nearbyint(wav_.SampleRate * kWindowSeconds))),
          winBytes_(winFrames_ * wav_.BlockAlign),
          step_(winFrames_ / 2 * wav_.BlockAlign),
          width_(wav_.BitsPerSample == kDeepBits ? 3 : 2)
    {
    }

    // The steps below, then the finished picture to the host once the first measurement began.
    // A stopped pass has no finished picture: it is left as far as it got, and nobody keeps it.
    StepEnd Run(TrimFindings& findings)
    {
        const StepEnd end = Steps();
        if (pictureStarted_ && end != StepEnd::Stopped) {
            picture_.Complete = true;
            host_.TrimMeasured(picture_);
        }
        findings.Picture = std::move(picture_);
        findings.Failure = failure_;
        return end;
    }

private:
    StepEnd Steps()
    {
        if (!Open()) return StepEnd::Failed;
        const int64_t dataStart = wav_.DataStart;
        const int64_t dataSize = wav_.DataSize;
        const int64_t dataEnd = dataStart + dataSize;
        // A file shorter than one window has nothing that could be measured as its start or end.
        if (dataSize < winBytes_) return StepEnd::Finished;

        const auto leadInBytes = LeadBytes(wav_.ByteRate, wav_.BlockAlign, Lead(kLeadIn));
        const auto leadOutBytes = LeadBytes(wav_.ByteRate, wav_.BlockAlign, Lead(kLeadOut));
        if (!leadOutBytes || dataEnd + *leadOutBytes + TrailerLength(dataEnd) > kMaxWavFileLength)
            return StepEnd::Failed;
        StartPicture(dataSize, leadInBytes.value_or(0), *leadOutBytes);

        host_.SetCaption("Find Cut In");
        const int64_t cutIn = SearchForward(dataStart, dataSize, Threshold(kCutIn));
        if (stopped_) return StepEnd::Stopped;
        Found(picture_.CutIn, cutIn);
        const int64_t leadStart = LeadStart(cutIn, leadInBytes);
        picture_.LeadIn = static_cast<double>(cutIn - leadStart) / wav_.ByteRate;
        const bool hideStart = leadStart > dataStart + kChunkHeaderBytes;
        const int64_t sizeAfterStart = hideStart ? dataSize - (leadStart - dataStart) : dataSize;

        // These two searches measure material that the writes of the start do not touch (they
        // end at the fade-in's end, and the end search is decided once it reaches that), so
        // running them first gives the same positions and lets a recording with no audible
        // part be left as it was instead of being cut down the middle.
        host_.SetCaption("Find Fade In");
        const int64_t fadeIn = SearchForward(cutIn, sizeAfterStart, Threshold(kFadeIn));
        if (stopped_) return StepEnd::Stopped;
        Found(picture_.FadeInEnd, fadeIn);
        host_.SetCaption("Find Cut Out");
        const int64_t cutOutWindow = SearchBackward(dataEnd - winBytes_, sizeAfterStart, Threshold(kCutOut));
        if (stopped_) return StepEnd::Stopped;
        if (cutOutWindow <= fadeIn) {
            // Left as it was: nothing was cut and no silence added, so the picture shows neither.
            picture_.CutIn.reset();
            picture_.FadeInEnd.reset();
            picture_.LeadIn = picture_.LeadOut = 0;
            return StepEnd::Finished;
        }
        const int64_t cutOut = cutOutWindow + winBytes_;
        Found(picture_.CutOut, cutOut);

        if (!Guard([&] { RewriteStart(cutIn, leadStart, hideStart, fadeIn); })) return StepEnd::Failed;

        // Measured after the start is rewritten: where the music is short, this search may reach
        // back into the fade-in and must hear it as it now is.
        host_.SetCaption("Find Fade Out");
        const int64_t fadeOutWindow = SearchBackward(cutOutWindow, wav_.DataSize, Threshold(kFadeOut));
        if (stopped_) return StepEnd::Stopped;
        // However far back that search ran, the fade-out stays inside the sample data.
        const int64_t fadeOut = std::max<int64_t>(fadeOutWindow + winBytes_, wav_.DataStart);
        Found(picture_.FadeOutStart, fadeOut);
        if (drawn_) MeasureBetween(fadeIn, fadeOutWindow);
        if (stopped_) return StepEnd::Stopped;
        int64_t newLength = 0;
        if (!Guard([&] { newLength = RewriteEnd(fadeOut, cutOut, dataEnd, *leadOutBytes); }))
            return StepEnd::Failed;

        // A file that keeps its old length still plays as trimmed (the sizes say where it ends);
        // the step goes on, and the file's result names the failure.
        const bool cut = TruncateFile(ctx_.request.WorkPath, static_cast<int32_t>(newLength));
        host_.LogLine(cut ? "New EOF set" : kCutFailed);
        if (!cut) failure_ = kCutFailed;
        return Guard([&] { FixRiffSize(); }) ? StepEnd::Finished : StepEnd::Failed;
    }

    template <typename Action>
    bool Guard(Action&& action)
    {
        return Guarded(host_, kProcedure, std::forward<Action>(action));
    }

    // Checks that the WAV info describes a layout this step can rewrite, and opens the file.
    bool Open()
    {
        if (wav_.BlockAlign <= 0 || wav_.ByteRate <= 0 || wav_.DataStart < kChunkHeaderBytes ||
            wav_.DataSize < 0 || step_ <= 0)
            return false;
        return Guard([&] {
            file_.emplace(ctx_.request.WorkPath, File::Mode::ReadWrite);
            fileLength_ = file_->Size();
        }) && int64_t{wav_.DataStart} + wav_.DataSize <= fileLength_;
    }

    int64_t TrailerLength(int64_t dataEnd) const { return fileLength_ - dataEnd; }
    double Lead(LeadIndex index) const { return ctx_.settings.Lead[static_cast<size_t>(index)]; }
    double Threshold(TrimIndex index) const { return ctx_.settings.TrimLevel[static_cast<size_t>(index)]; }

    // Whether the window at `offset` sounds louder than `threshold`: its recommended gain plus
    // NewLevel (and an album's shift) lies below it. A window the analysis cannot measure ends the search like an
    // audible one; so does a stop, which the search's caller then sees.
    bool Audible(int64_t offset, double threshold)
    {
        double gain = 0;
        const StepEnd end = Analyzed(ctx_, gain, static_cast<int32_t>(offset), static_cast<int32_t>(winFrames_));
        stopped_ = end == StepEnd::Stopped;
        if (end != StepEnd::Finished) {
            if (!stopped_) host_.LogLine("Fail");
            return true;
        }
        const double level = gain + ctx_.settings.NewLevel + ctx_.AlbumShift;
        Measured(offset, level);
        return level < threshold;
    }

    // The picture starts with the file's time line, thresholds and lead lengths; the host's
    // answer tells whether it draws it, and so whether the windows between the searches are
    // worth measuring too.
    void StartPicture(int64_t dataSize, int64_t leadInBytes, int64_t leadOutBytes)
    {
        picture_.SourcePath = ctx_.request.SourcePath;
        picture_.PlotPath = ctx_.request.PlotPath;
        picture_.Seconds = static_cast<double>(dataSize) / wav_.ByteRate;
        picture_.WindowSeconds = static_cast<double>(winBytes_) / wav_.ByteRate;
        picture_.Thresholds = ctx_.settings.TrimLevel;
        picture_.LeadIn = static_cast<double>(leadInBytes) / wav_.ByteRate;
        picture_.LeadOut = static_cast<double>(leadOutBytes) / wav_.ByteRate;
        pictureDataStart_ = wav_.DataStart;
        pictureStarted_ = true;
        drawn_ = host_.TrimMeasured(picture_);
    }

    // Seconds on the picture's time line: from the start of the data as it was before the trim.
    // The cut start is hidden, not moved, so every offset in the file keeps its time.
    double PictureSeconds(int64_t offset) const
    {
        return static_cast<double>(offset - pictureDataStart_) / wav_.ByteRate;
    }

    void Measured(int64_t offset, double level)
    {
        picture_.Windows.push_back({PictureSeconds(offset), level});
        if (picture_.Windows.size() % kWindowsPerPictureUpdate == 0) host_.TrimMeasured(picture_);
    }

    void Found(std::optional<double>& mark, int64_t offset)
    {
        mark = PictureSeconds(offset);
        host_.TrimMeasured(picture_);
    }

    // For a host that draws the picture: the windows between the fade-in's end and the last
    // window of the fade-out search, which the searches never reach. Whole windows apart, not
    // half, since nothing is decided by them. The trim's result does not depend on these.
    void MeasureBetween(int64_t from, int64_t to)
    {
        for (int64_t offset = from + winBytes_; offset + winBytes_ <= to; offset += winBytes_) {
            double gain = 0;
            const StepEnd end = Analyzed(ctx_, gain, static_cast<int32_t>(offset), static_cast<int32_t>(winFrames_));
            stopped_ = end == StepEnd::Stopped;
            if (end != StepEnd::Finished) return;
            Measured(offset, gain + ctx_.settings.NewLevel + ctx_.AlbumShift);
        }
    }

    // Half-window steps forward from `offset` to the first audible window, while the window's
    // position in the file stays within half the data size: the search covers about the first
    // half of the data. Returns where it stopped, or the first position past the bound.
    int64_t SearchForward(int64_t offset, int64_t dataSize, double threshold)
    {
        while (!Audible(offset, threshold)) {
            offset += step_;
            if (2 * (offset + 1) > dataSize) break;
        }
        return offset;
    }

    // The same backwards, from the last whole window towards the middle.
    int64_t SearchBackward(int64_t offset, int64_t dataSize, double threshold)
    {
        while (!Audible(offset, threshold)) {
            offset -= step_;
            if (2 * (offset + 1) < dataSize) break;
        }
        return offset;
    }

    // The lead-in is Lead[0] seconds before the cut-in point, rounded up to whole frames; with
    // too little material in front of the cut-in point it starts at the data instead.
    int64_t LeadStart(int64_t cutIn, std::optional<int64_t> leadInBytes) const
    {
        const int64_t dataStart = wav_.DataStart;
        if (!leadInBytes || cutIn - *leadInBytes < dataStart + kChunkHeaderBytes) return dataStart;
        const int64_t v = cutIn - *leadInBytes;
        return dataStart + (v - dataStart) / wav_.BlockAlign * wav_.BlockAlign;
    }

    // Lead-in silence, the cut start hidden in a "tRsH" chunk, and the fade-in. The audio before
    // the lead-in is never moved: two chunk headers make it the body of a chunk that players
    // skip, and the new "data" chunk begins with the silence.
    void RewriteStart(int64_t cutIn, int64_t leadStart, bool hideStart, int64_t fadeIn)
    {
        host_.SetCaption("Write Lead In");
        file_->WriteZerosAt(leadStart, cutIn - leadStart);  // digital silence
        if (hideStart) {
            const int64_t dataStart = wav_.DataStart;
            WriteId(*file_, ChunkHeaderAt(dataStart), kHiddenStartId);
            WriteSize(*file_, ChunkSizeFieldAt(dataStart), ChunkHeaderAt(leadStart) - dataStart);
            WriteId(*file_, ChunkHeaderAt(leadStart), kDataId);
            wav_.DataSize = static_cast<int32_t>(wav_.DataSize - (leadStart - dataStart));
            WriteSize(*file_, ChunkSizeFieldAt(leadStart), wav_.DataSize);
            wav_.DataStart = static_cast<int32_t>(leadStart);
        }

        host_.SetCaption("Write Fade In");
        const int64_t length = fadeIn - cutIn;
        if (length > 0) {
            ScaleSamples(*file_, cutIn, length, width_,
                         [length, this](int64_t i) { return FadeInFactor(i, length, width_); });
        }
    }

    // The fade-out, the trailer moved behind the lead-out, the lead-out silence and the data
    // size. Returns the file's new length.
    int64_t RewriteEnd(int64_t fadeOut, int64_t cutOut, int64_t dataEnd, int64_t leadOutBytes)
    {
        host_.SetCaption("Write Fade Out");
        const int64_t length = cutOut - fadeOut;
        if (length > 0) {
            ScaleSamples(*file_, fadeOut, length, width_,
                         [length, this](int64_t i) { return FadeOutFactor(i, length, width_); });
        }

        // The trailer goes to its new place before the lead-out is written, since the silence
        // may cover where it was.
        host_.SetCaption("Save and rewrite info at end");
        const int64_t trailerLength = TrailerLength(dataEnd);
        MoveBytes(*file_, dataEnd, cutOut + leadOutBytes, trailerLength);

        host_.SetCaption("Write Lead Out");
        file_->WriteZerosAt(cutOut, leadOutBytes);  // digital silence

        const int64_t dataSize = cutOut + leadOutBytes - wav_.DataStart;
        if (dataSize != wav_.DataSize) {
            wav_.DataSize = static_cast<int32_t>(dataSize);
            WriteSize(*file_, ChunkSizeFieldAt(wav_.DataStart), dataSize);
        }
        // Closed before the cut: the truncation opens the file itself and denies other writers.
        file_->Close();
        return cutOut + leadOutBytes + trailerLength;
    }

    void FixRiffSize()
    {
        File file(ctx_.request.WorkPath, File::Mode::ReadWrite);
        const int64_t riffSize = file.Size() - kChunkHeaderBytes;
        if (riffSize != wav_.RiffSize) {
            wav_.RiffSize = static_cast<int32_t>(riffSize);
            WriteSize(file, kRiffSizeAt, riffSize);
        }
        file.Close();
    }

    Context& ctx_;
    Host& host_;
    WavInfo& wav_;
    const int64_t winFrames_;
    const int64_t winBytes_;
    const int64_t step_;
    const int width_;  // bytes of one sample: 2, or 3 in a 24-bit file
    std::optional<File> file_;  // the work file, open from the checks to the cut
    int64_t fileLength_ = 0;
    TrimPicture picture_;
    int64_t pictureDataStart_ = 0;
    bool pictureStarted_ = false;
    bool drawn_ = false;  // the host draws the picture
    bool stopped_ = false;  // a stop ended the last measurement
    std::string failure_;   // a failure the step met and went on after
};

}  // namespace

StepEnd Trimmed(Context& ctx, TrimFindings* found)
{
    TrimFindings unused;
    TrimFindings& findings = found != nullptr ? *found : unused;
    findings = TrimFindings{};
    // Measured with the filter of this file's own rate, whatever the analysis step did or did
    // not select before; at a rate without a filter every window would be mismeasured.
    if (!SetFilter(ctx)) {
        findings.Failure = kNoFilter;
        return StepEnd::Failed;
    }
    return Trimmer(ctx).Run(findings);
}

}  // namespace varnook
