#include "editing/amplify.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "base/context.h"
#include "dsp/limiter.h"
#include "io/exist_file.h"
#include "io/guarded.h"
#include "editing/sample_rounding.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "io/work_file.h"

namespace varnook {
namespace {

constexpr int64_t kBlockSamples = 16384;            // unit of every sample read and write
constexpr int64_t kBufferSamples = 2 * kBlockSamples;   // all channels' buffers together
constexpr size_t kCopyChunk = 16384;                // unit of the header and trailer copies
constexpr const char* kProcedure = "Leveled";

// What a sample's width sets: 2 bytes for 16-bit samples, 3 for 24-bit ones. The half-wave
// ceiling keeps the same headroom at every depth, 2^10 steps of 16 bits under full scale.
template <int Width>
struct Depth {
    static constexpr double kFullScale = Width == 2 ? 32768 : 8388608;  // 0 dBFS: the magnitude of the lowest
    static constexpr double kPeakLimit = Width == 2 ? 31744 : 31744 * 256.0;
    // A chunk of the header and trailer copies, cut to whole samples.
    static constexpr size_t kChunk = kCopyChunk / Width * Width;

    static int32_t Load(const uint8_t* at)
    {
        if constexpr (Width == 2)
            return LoadLE16(at);
        else
            return LoadLE24(at);
    }
    // `value` rounded to the nearest sample, halves to even; the caller keeps it in range.
    static void Store(uint8_t* at, double value)
    {
        if constexpr (Width == 2)
            StoreLE16(at, RoundToSample(value));
        else
            StoreLE24(at, RoundToWhole(value));
    }
};

// The largest magnitude among `Samples` samples (full scale for the lowest value), kept as the
// largest and the smallest value: unlike a magnitude, those compile to vector code, and with the
// fixed length the loop needs no tail. Every block read and written passes through here.
template <int Width, size_t Samples>
[[gnu::noinline]] int BlockPeak(const uint8_t* __restrict bytes)
{
    // 16-bit values stay 16-bit, twice as many to a vector.
    using Value = std::conditional_t<Width == 2, int16_t, int32_t>;
    Value high = 0;
    Value low = 0;
    for (size_t k = 0; k < Samples; ++k) {
        const auto value = static_cast<Value>(Depth<Width>::Load(bytes + Width * k));
        high = std::max(high, value);
        low = std::min(low, value);
    }
    return std::max(int{high}, -int{low});
}

// The largest magnitude among the samples the bytes hold.
template <int Width>
int SamplePeak(std::span<const uint8_t> bytes)
{
    if (bytes.size() == Width * kBlockSamples)
        return BlockPeak<Width, static_cast<size_t>(kBlockSamples)>(bytes.data());
    if (bytes.size() == Depth<Width>::kChunk) return BlockPeak<Width, Depth<Width>::kChunk / Width>(bytes.data());
    int peak = 0;
    for (size_t i = 0; i + Width <= bytes.size(); i += Width)
        peak = std::max(peak, std::abs(Depth<Width>::Load(bytes.data() + i)));
    return peak;
}

// Copies `length` bytes from `in` at `from` to `out` at `to`, in chunks of the buffer's size,
// handing each chunk to chunkRead before it is written: a long header or trailer keeps the
// windows alive through it, and a copied stretch of samples can be looked at on its way. A
// chunkRead that returns false ends the copy there (a stop); CopyBytes then returns false.
template <typename ChunkRead>
bool CopyBytes(const File& in, int64_t from, File& out, int64_t to, int64_t length,
               std::span<uint8_t> buffer, ChunkRead chunkRead)
{
    while (length > 0) {
        const auto n = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
        in.ReadExactAt(from, buffer.first(n));
        if (!chunkRead(std::span<const uint8_t>(buffer.first(n)))) return false;
        out.WriteAt(to, buffer.first(n));
        from += static_cast<int64_t>(n);
        to += static_cast<int64_t>(n);
        length -= static_cast<int64_t>(n);
    }
    return true;
}

// Gain 0 is a byte-for-byte copy, so the samples cannot pick up a rounding step. The whole
// samples of the data (as far as the file holds them) are looked at on their way through, so
// the copy finds the peak without a pass of its own. Returns that peak, or nothing when a stop
// ended the copy.
template <int Width>
std::optional<int> CopyWholeFile(const std::string& from, const std::string& to, int64_t dataStart,
                                 int64_t dataSize, const StopRequest& stop)
{
    const File in(from, File::Mode::Read);
    File out = CreateWorkFile(to);
    std::vector<uint8_t> buffer(Depth<Width>::kChunk);
    const int64_t size = in.Size();
    const int64_t samplesFrom = std::clamp<int64_t>(dataStart, 0, size);
    const int64_t samplesTo = samplesFrom + std::clamp<int64_t>(dataSize, 0, size - samplesFrom) / Width * Width;
    int peak = 0;
    const auto pass = [](std::span<const uint8_t>) { return true; };
    CopyBytes(in, 0, out, 0, samplesFrom, buffer, pass);
    // Chunks of whole samples from the first sample on: no sample is split between two.
    const bool copied = CopyBytes(in, samplesFrom, out, samplesFrom, samplesTo - samplesFrom, buffer,
                                  [&peak, &stop](std::span<const uint8_t> chunk) {
                                      peak = std::max(peak, SamplePeak<Width>(chunk));
                                      return !stop.Requested();
                                  });
    if (!copied) return std::nullopt;
    CopyBytes(in, samplesTo, out, samplesTo, size - samplesTo, buffer, pass);
    out.Close();
    return peak;
}

// Scales the half-waves of one channel's buffer from nextPos on. A half-wave is a run of samples
// of one sign; it is scaled as one piece so that its shape survives: by `factor` when its peak
// stays within the limit, otherwise by the factor that puts the peak exactly on the limit. A
// half-wave may run on into the back half (the look-ahead) up to the buffer's end; the part
// scaled there is skipped next cycle through nextPos, which is why the scan always meets
// unscaled samples and its peak is exact. A run cut at the buffer's end goes on as a new
// half-wave, with its own peak, in the next cycle.
// Returns how many half-waves were put on the limit.
int64_t ScaleHalfWaves(std::span<double> buffer, int64_t& nextPos, int64_t half, double factor, bool last,
                       double peakLimit)
{
    const auto bufLen = static_cast<int64_t>(buffer.size());
    const int64_t end = last ? bufLen - 1 : half - 1;
    double* values = buffer.data();
    int64_t p = nextPos;
    int64_t limited = 0;
    while (p <= end) {
        if (values[p] == 0) {
            ++p;
            continue;
        }
        double peak = 0;
        int64_t q = p;
        if (values[p] > 0) {
            for (; q < bufLen && values[q] > 0; ++q) peak = std::max(peak, values[q]);
        } else {
            for (; q < bufLen && values[q] < 0; ++q) peak = std::max(peak, -values[q]);
        }
        const bool fits = peak * factor <= peakLimit;
        limited += fits ? 0 : 1;
        const double f = fits ? factor : peakLimit / peak;
        for (int64_t i = p; i < q; ++i) values[i] *= f;
        p = q;
    }
    // The coming shift moves every position down by half a buffer.
    nextPos = p - half;
    return limited;
}

// Conversions between a block as the file holds it and the channel buffers, most of the work of
// the plain regime. Fixed lengths and unaliased pointers let the compiler turn them into vector
// code; they stay out of line because inlining would lose what __restrict promises.
template <int Width, int64_t Frames>
[[gnu::noinline]] void SpreadMono(const uint8_t* __restrict bytes, double* __restrict left)
{
    for (int64_t k = 0; k < Frames; ++k) left[k] = Depth<Width>::Load(bytes + Width * k);
}

template <int Width, int64_t Frames>
[[gnu::noinline]] void SpreadStereo(const uint8_t* __restrict bytes, double* __restrict left,
                                    double* __restrict right)
{
    for (int64_t k = 0; k < Frames; ++k) {
        left[k] = Depth<Width>::Load(bytes + 2 * Width * k);
        right[k] = Depth<Width>::Load(bytes + 2 * Width * k + Width);
    }
}

// Each value times `factor`, rounded to the nearest sample with halves to even. No value can
// leave the sample's range: the plain regime never raises a magnitude and the half-wave regime
// keeps every peak within the limit.
template <int Width, int64_t Frames>
[[gnu::noinline]] void GatherMono(const double* __restrict left, double factor,
                                  uint8_t* __restrict bytes)
{
    for (int64_t k = 0; k < Frames; ++k) Depth<Width>::Store(bytes + Width * k, left[k] * factor);
}

template <int Width, int64_t Frames>
[[gnu::noinline]] void GatherStereo(const double* __restrict left, const double* __restrict right,
                                    double factor, uint8_t* __restrict bytes)
{
    for (int64_t k = 0; k < Frames; ++k) {
        Depth<Width>::Store(bytes + 2 * Width * k, left[k] * factor);
        Depth<Width>::Store(bytes + 2 * Width * k + Width, right[k] * factor);
    }
}

// The working state of one amplify pass: per channel a buffer of two halves. The front half is
// written at the end of a cycle; the back half holds the block read in that cycle and gives
// every half-wave a look-ahead of half a buffer before its factor is chosen, and the limiter
// its look-ahead of a few milliseconds. The channel count is a template argument so that the
// conversion loops have fixed lengths and compile to vector code; so is the sample's Width.
template <int Channels, int Width>
class Amplifier {
public:
    static constexpr int64_t kBufLen = kBufferSamples / Channels;
    static constexpr int64_t kHalf = kBufLen / 2;  // frames; one block fills one half

    // With a limiter the samples take the whole factor as they come in, and the limiter holds
    // `limitTo` dBTP; without one the factor is applied as the half-wave rule allows.
    Amplifier(Host& host, const StopRequest& stop, double factor, int64_t samples, LevelFindings& findings,
              std::optional<double> limitTo, int32_t sampleRate)
        : host_(host),
          stop_(stop),
          findings_(findings),
          factor_(factor),
          samples_(samples),
          block_(static_cast<size_t>(kBlockSamples) * Width),
          buffers_(Channels, std::vector<double>(static_cast<size_t>(kBufLen)))
    {
        if (!limitTo) return;
        const double ceiling = Depth<Width>::kFullScale * std::pow(10.0, *limitTo / 20);
        limiter_.emplace(Channels, sampleRate, ceiling);
        guardHalfWaves_ = ceiling > Depth<Width>::kPeakLimit;
    }

    // False when a stop ended the pass before the last block; what was written is then no use.
    bool Run(const File& in, File& out, int64_t dataStart)
    {
        host_.SetCaption("Copying header");
        CopyBytes(in, 0, out, 0, dataStart, std::span(block_).first(Depth<Width>::kChunk), [this](std::span<const uint8_t>) {
            host_.Yield();
            return true;
        });

        int64_t readPos = dataStart;
        int64_t writePos = dataStart;
        // A file shorter than a block is primed with what it has and zeros after it: silence
        // ends its last half-wave as the end of the file would, and only its own samples are
        // written back (frontBytes).
        const auto primed = static_cast<size_t>(std::min(samples_, kBlockSamples)) * Width;
        in.ReadExactAt(readPos, std::span(block_).first(primed));
        NoteRead(std::span(block_).first(primed));
        std::fill(block_.begin() + static_cast<ptrdiff_t>(primed), block_.end(), 0);
        readPos += static_cast<int64_t>(primed);
        SpreadIntoBackHalves();
        int64_t remaining = samples_ - static_cast<int64_t>(primed) / Width;
        size_t frontBytes = primed;

        bool last = false;
        double writeFactor = 1;
        while (!last) {
            host_.Yield();
            // Looked at once a block, as the analysis does: an hour of audio takes seconds.
            if (stop_.Requested()) return false;
            ShowProgress(remaining);
            if (remaining > kBlockSamples) {
                in.ReadExactAt(readPos, block_);
                NoteRead(block_);
                readPos += static_cast<int64_t>(block_.size());
                remaining -= kBlockSamples;
            } else {
                // The final read keeps `remaining` as its own length, which the tail needs.
                const auto bytes = static_cast<size_t>(remaining) * Width;
                in.ReadExactAt(readPos, std::span(block_).first(bytes));
                NoteRead(std::span(block_).first(bytes));
                std::fill(block_.begin() + static_cast<ptrdiff_t>(bytes), block_.end(), 0);
                readPos += static_cast<int64_t>(bytes);
                last = true;
            }
            for (auto& buffer : buffers_) std::copy(buffer.begin() + kHalf, buffer.end(), buffer.begin());
            SpreadIntoBackHalves();
            writeFactor = Scale(last, remaining / Channels);
            GatherFrontHalves(writeFactor);
            const auto front = std::span(block_).first(frontBytes);
            NoteWritten(front);
            out.WriteAt(writePos, front);
            writePos += static_cast<int64_t>(frontBytes);
            frontBytes = block_.size();
        }

        // The back halves hold the last read, already scaled.
        const int64_t tailFrames = remaining / Channels;
        GatherTail(tailFrames, writeFactor);
        const auto tail = std::span(block_).first(static_cast<size_t>(tailFrames * Channels) * Width);
        NoteWritten(tail);
        out.WriteAt(writePos, tail);
        if (limiter_) {
            findings_.LimiterReductionDb = limiter_->LargestReductionDb();
            findings_.SecondsLimiting = limiter_->SecondsLimiting();
        }

        // Everything after the samples read, including a stereo file's unpaired last sample and
        // the odd byte of an odd data size, goes through untouched.
        host_.SetCaption("Copying trailer");
        const int64_t trailerLength = in.Size() - readPos;
        CopyBytes(in, readPos, out, readPos, trailerLength, std::span(block_).first(Depth<Width>::kChunk),
                  [this](std::span<const uint8_t>) {
                      host_.Yield();
                      return true;
                  });
        return true;
    }

private:
    // The peaks are taken from the samples as the file holds them, on their way in and out,
    // rather than from the buffers: the output's are the rounded values actually written.
    void NoteRead(std::span<const uint8_t> bytes)
    {
        findings_.PeakBefore = std::max(findings_.PeakBefore, SamplePeak<Width>(bytes));
    }

    void NoteWritten(std::span<const uint8_t> bytes)
    {
        findings_.PeakAfter = std::max(findings_.PeakAfter, SamplePeak<Width>(bytes));
    }

    void SpreadIntoBackHalves()
    {
        if constexpr (Channels == 1)
            SpreadMono<Width, kHalf>(block_.data(), buffers_[0].data() + kHalf);
        else
            SpreadStereo<Width, kHalf>(block_.data(), buffers_[0].data() + kHalf, buffers_[1].data() + kHalf);
        if (limiter_)
            for (auto& buffer : buffers_)
                for (int64_t k = kHalf; k < kBufLen; ++k) buffer[static_cast<size_t>(k)] *= factor_;
    }

    // Pointers to each channel's frames from `frame` of the buffer on, as the limiter takes them.
    std::array<double*, Channels> Frames(int64_t frame)
    {
        std::array<double*, Channels> channels;
        for (size_t c = 0; c < Channels; ++c) channels[c] = buffers_[c].data() + frame;
        return channels;
    }

    void GatherFrontHalves(double factor)
    {
        if constexpr (Channels == 1)
            GatherMono<Width, kHalf>(buffers_[0].data(), factor, block_.data());
        else
            GatherStereo<Width, kHalf>(buffers_[0].data(), buffers_[1].data(), factor, block_.data());
    }

    // Rounds and interleaves the first `frames` frames of the back halves, once per file.
    void GatherTail(int64_t frames, double factor)
    {
        for (int64_t k = 0; k < frames; ++k) {
            for (int c = 0; c < Channels; ++c) {
                const double value = buffers_[static_cast<size_t>(c)][static_cast<size_t>(kHalf + k)];
                Depth<Width>::Store(block_.data() + Width * (k * Channels + c), value * factor);
            }
        }
    }

    // The half-wave regime scales in place, ahead of the write; the plain regime is a single
    // multiplication, which the write applies as it goes. With the limiter, the samples carry the
    // factor already: the limiter works on the front halves, with the back halves as its
    // look-ahead (in the last cycle `tailFrames` of them hold samples, and are limited too), then
    // the half-wave rule guards them with a factor of 1, within the front halves, so that it
    // never meets samples the limiter has not yet seen. Returns the factor the write applies.
    double Scale(bool last, int64_t tailFrames)
    {
        if (limiter_) {
            auto front = Frames(0);
            limiter_->Limit(front, kHalf, static_cast<size_t>(last ? tailFrames : kHalf));
            if (last) {
                auto back = Frames(kHalf);
                limiter_->Limit(back, static_cast<size_t>(tailFrames), 0);
            }
            // Under the limiter's ceiling every sample lies too; only a ceiling above the limit
            // leaves the half-wave rule something to do.
            if (!guardHalfWaves_) return 1;
            for (size_t c = 0; c < Channels; ++c) {
                nextPos_[c] = 0;
                const auto guarded = std::span(buffers_[c]).first(static_cast<size_t>(last ? kBufLen : kHalf));
                findings_.HalfWavesLimited +=
                    ScaleHalfWaves(guarded, nextPos_[c], kHalf, 1, true, Depth<Width>::kPeakLimit);
            }
            return 1;
        }
        if (factor_ <= 1) return factor_;
        for (size_t c = 0; c < Channels; ++c)
            findings_.HalfWavesLimited +=
                ScaleHalfWaves(buffers_[c], nextPos_[c], kHalf, factor_, last, Depth<Width>::kPeakLimit);
        return 1;
    }

    // Shows the figure worked out in the previous cycle, or works out a new one: so the caption
    // changes at most every second cycle and the title bar is not redrawn for every block.
    void ShowProgress(int64_t remaining)
    {
        if (pct_ != shownPct_) {
            host_.SetCaption(std::to_string(pct_));
            shownPct_ = pct_;
        } else {
            pct_ = samples_ == 0 ? 100
                                 : static_cast<int>(std::nearbyint(
                                       (1 - static_cast<double>(remaining) / static_cast<double>(samples_)) * 100));
        }
    }

    Host& host_;
    const StopRequest& stop_;
    LevelFindings& findings_;
    const double factor_;
    const int64_t samples_;
    std::vector<uint8_t> block_;  // one block of samples as the file holds them
    std::vector<std::vector<double>> buffers_;
    std::array<int64_t, Channels> nextPos_{};
    std::optional<TruePeakLimiter> limiter_;
    bool guardHalfWaves_ = false;
    int pct_ = 0;
    int shownPct_ = 0;
};

template <int Width>
bool Amplify(Host& host, const StopRequest& stop, int channels, const File& in, File& out, int64_t dataStart,
             double factor, int64_t samples, LevelFindings& findings, std::optional<double> limitTo,
             int32_t sampleRate)
{
    if (channels == 1)
        return Amplifier<1, Width>(host, stop, factor, samples, findings, limitTo, sampleRate).Run(in, out, dataStart);
    return Amplifier<2, Width>(host, stop, factor, samples, findings, limitTo, sampleRate).Run(in, out, dataStart);
}

}  // namespace

std::optional<double> PeakDbfs(int magnitude, int fullScale)
{
    if (magnitude <= 0) return std::nullopt;
    return 20 * std::log10(magnitude / static_cast<double>(fullScale));
}

StepEnd Leveled(Context& ctx, double gain, LevelFindings* found, std::optional<double> limitTo)
{
    LevelFindings unused;
    LevelFindings& findings = found != nullptr ? *found : unused;
    findings = LevelFindings{};
    const RunRequest& request = ctx.request;
    const StopRequest& stop = *ctx.stop;
    bool finished = false;
    const auto ended = [&finished](bool guarded) {
        if (!guarded) return StepEnd::Failed;
        return finished ? StepEnd::Finished : StepEnd::Stopped;
    };
    const bool deep = ctx.wav.BitsPerSample == kDeepBits;
    const int width = deep ? 3 : 2;
    findings.FullScale = static_cast<int>(deep ? Depth<3>::kFullScale : Depth<2>::kFullScale);
    if (ExistFile(request.WorkPath) && gain == 0 && !limitTo) {
        return ended(Guarded(ctx.host, kProcedure, [&] {
            const auto copy = deep ? CopyWholeFile<3> : CopyWholeFile<2>;
            const std::optional<int> peak =
                copy(request.WorkPath, request.TempPath, ctx.wav.DataStart, ctx.wav.DataSize, stop);
            findings.PeakBefore = findings.PeakAfter = peak.value_or(0);
            finished = peak.has_value();
        }));
    }

    const int channels = ctx.wav.Channels;
    if ((channels != 1 && channels != 2) || std::isnan(gain)) return StepEnd::Failed;
    // An odd data size leaves a byte that belongs to no sample; it goes through with the trailer.
    const int64_t totalSamples = std::max<int64_t>(ctx.wav.DataSize / width, 0);
    const int64_t samples = totalSamples - totalSamples % channels;

    return ended(Guarded(ctx.host, kProcedure, [&] {
        const File in(request.WorkPath, File::Mode::Read);
        File out = CreateWorkFile(request.TempPath);
        const double factor = std::pow(10.0, gain / 20);
        const int32_t rate = ctx.wav.SampleRate;
        const auto amplify = deep ? Amplify<3> : Amplify<2>;
        finished = amplify(ctx.host, stop, channels, in, out, ctx.wav.DataStart, factor, samples, findings, limitTo, rate);
        if (finished) ctx.host.SetCaption("0");
        out.Close();
    }));
}

}  // namespace varnook
