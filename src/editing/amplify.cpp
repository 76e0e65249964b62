#include "editing/amplify.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "control/context.h"
#include "control/exist_file.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"

namespace varnook {
namespace {

constexpr int64_t kBlockSamples = 16384;            // unit of every sample read and write
constexpr int64_t kMinimumSamples = 2 * kBlockSamples;  // the priming read plus one cycle
constexpr int64_t kBufferSamples = 2 * kBlockSamples;   // all channels' buffers together
constexpr size_t kCopyChunk = 16384;                // unit of the header and trailer copies
constexpr double kPeakLimit = 31744;                // 2^15 - 2^10: headroom below full scale
constexpr const char* kProcedure = "Leveled";

// Copies `length` bytes from `in` at `from` to `out` at `to`, in chunks of the buffer's size,
// calling beforeChunk ahead of each chunk so a long header or trailer keeps the windows alive.
template <typename BeforeChunk>
void CopyBytes(const File& in, int64_t from, File& out, int64_t to, int64_t length,
               std::span<uint8_t> buffer, BeforeChunk beforeChunk)
{
    while (length > 0) {
        beforeChunk();
        const auto n = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
        in.ReadExactAt(from, buffer.first(n));
        out.WriteAt(to, buffer.first(n));
        from += static_cast<int64_t>(n);
        to += static_cast<int64_t>(n);
        length -= static_cast<int64_t>(n);
    }
}

// Gain 0 is a byte-for-byte copy, so the samples cannot pick up a rounding step.
void CopyWholeFile(const std::string& from, const std::string& to)
{
    // Removed rather than overwritten: an old work file that is a link to another file must
    // not have that file rewritten through it.
    if (ExistFile(to) && ::unlink(to.c_str()) != 0) ThrowFileErrorFromErrno();
    const File in(from, File::Mode::Read);
    File out(to, File::Mode::CreateTruncate);
    std::vector<uint8_t> buffer(kCopyChunk);
    CopyBytes(in, 0, out, 0, in.Size(), buffer, [] {});
    out.Close();
}

// Scales the half-waves of one channel's buffer from nextPos on. A half-wave is a run of samples
// of one sign; it is scaled as one piece so that its shape survives: by `factor` when its peak
// stays within the limit, otherwise by the factor that puts the peak exactly on the limit. A
// half-wave may run on into the back half (the look-ahead); the part scaled there is skipped
// next cycle through nextPos, which is why the scan always meets unscaled samples.
void ScaleHalfWaves(std::span<double> buffer, int64_t& nextPos, int64_t half, double factor, bool last)
{
    const auto bufLen = static_cast<int64_t>(buffer.size());
    const int64_t end = last ? bufLen - 1 : half - 1;
    int64_t p = nextPos;
    while (p <= end) {
        if (buffer[p] == 0) {
            ++p;
            continue;
        }
        double peak = 0;
        int64_t q = p;
        if (buffer[p] > 0) {
            for (; q < bufLen && buffer[q] > 0; ++q) peak = std::max(peak, buffer[q]);
        } else {
            for (; q < bufLen && buffer[q] < 0; ++q) peak = std::max(peak, -buffer[q]);
        }
        const double f = peak * factor <= kPeakLimit ? factor : kPeakLimit / peak;
        for (int64_t i = p; i < q; ++i) buffer[i] *= f;
        p = q;
    }
    // The coming shift moves every position down by half a buffer.
    nextPos = p - half;
}

// The working state of one amplify pass: per channel a buffer of two halves. The front half is
// written at the end of a cycle; the back half holds the block read in that cycle and gives
// every half-wave a look-ahead of half a buffer before its factor is chosen.
class Amplifier {
public:
    Amplifier(Host& host, double factor, int channels, int64_t samples)
        : host_(host),
          factor_(factor),
          channels_(channels),
          bufLen_(kBufferSamples / channels),
          half_(bufLen_ / 2),
          samples_(samples),
          block_(static_cast<size_t>(kBlockSamples) * 2),
          buffers_(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(bufLen_))),
          nextPos_(static_cast<size_t>(channels), 0)
    {
    }

    void Run(const File& in, File& out, int64_t dataStart)
    {
        host_.SetCaption("Copying header");
        CopyBytes(in, 0, out, 0, dataStart, std::span(block_).first(kCopyChunk),
                  [this] { host_.Yield(); });

        int64_t readPos = dataStart;
        int64_t writePos = dataStart;
        in.ReadExactAt(readPos, block_);
        readPos += static_cast<int64_t>(block_.size());
        SpreadIntoBackHalves();
        int64_t remaining = samples_ - kBlockSamples;

        bool last = false;
        while (!last) {
            host_.Yield();
            ShowProgress(remaining);
            if (remaining > kBlockSamples) {
                in.ReadExactAt(readPos, block_);
                readPos += static_cast<int64_t>(block_.size());
                remaining -= kBlockSamples;
            } else {
                // The final read keeps `remaining` as its own length, which the tail needs.
                const auto bytes = static_cast<size_t>(remaining) * 2;
                in.ReadExactAt(readPos, std::span(block_).first(bytes));
                std::fill(block_.begin() + static_cast<ptrdiff_t>(bytes), block_.end(), 0);
                readPos += static_cast<int64_t>(bytes);
                last = true;
            }
            for (auto& buffer : buffers_)
                std::copy(buffer.begin() + half_, buffer.end(), buffer.begin());
            SpreadIntoBackHalves();
            Scale(last);
            GatherFrames(0, half_);
            out.WriteAt(writePos, block_);
            writePos += static_cast<int64_t>(block_.size());
        }

        // The back halves hold the last read, already scaled.
        const int64_t tailFrames = remaining / channels_;
        GatherFrames(half_, tailFrames);
        out.WriteAt(writePos, std::span(block_).first(static_cast<size_t>(tailFrames * channels_) * 2));

        // Everything after the samples read, including a stereo file's unpaired last sample and
        // the odd byte of an odd data size, goes through untouched.
        host_.SetCaption("Copying trailer");
        const int64_t trailerLength = in.Size() - readPos;
        CopyBytes(in, readPos, out, readPos, trailerLength, std::span(block_).first(kCopyChunk),
                  [this] { host_.Yield(); });
    }

private:
    void SpreadIntoBackHalves()
    {
        const uint8_t* bytes = block_.data();
        if (channels_ == 1) {
            double* left = buffers_[0].data() + half_;
            for (int64_t k = 0; k < half_; ++k) left[k] = LoadLE16(bytes + 2 * k);
        } else {
            double* left = buffers_[0].data() + half_;
            double* right = buffers_[1].data() + half_;
            for (int64_t k = 0; k < half_; ++k) {
                left[k] = LoadLE16(bytes + 4 * k);
                right[k] = LoadLE16(bytes + 4 * k + 2);
            }
        }
    }

    // Writes `frames` frames from buffer position `from` on into the start of the block,
    // interleaved, each value rounded to the nearest sample with halves to even. No value can
    // leave the 16-bit range: the plain regime never raises a magnitude and the half-wave regime
    // keeps every peak at or below the limit.
    void GatherFrames(int64_t from, int64_t frames)
    {
        uint8_t* bytes = block_.data();
        for (int64_t k = 0; k < frames; ++k) {
            for (int c = 0; c < channels_; ++c) {
                const double v = buffers_[static_cast<size_t>(c)][static_cast<size_t>(from + k)];
                StoreLE16(bytes + 2 * (k * channels_ + c), static_cast<int16_t>(std::nearbyint(v)));
            }
        }
    }

    void Scale(bool last)
    {
        for (size_t c = 0; c < buffers_.size(); ++c) {
            std::span<double> buffer(buffers_[c]);
            if (factor_ > 1) {
                ScaleHalfWaves(buffer, nextPos_[c], half_, factor_, last);
            } else {
                const auto end = static_cast<size_t>(last ? bufLen_ : half_);
                for (size_t i = 0; i < end; ++i) buffer[i] *= factor_;
            }
        }
    }

    // Shows the figure worked out in the previous cycle, or works out a new one: so the caption
    // changes at most every second cycle and the title bar is not redrawn for every block.
    void ShowProgress(int64_t remaining)
    {
        if (pct_ != shownPct_) {
            host_.SetCaption(std::to_string(pct_));
            shownPct_ = pct_;
        } else {
            pct_ = static_cast<int>(std::nearbyint(
                (1 - static_cast<double>(remaining) / static_cast<double>(samples_)) * 100));
        }
    }

    Host& host_;
    const double factor_;
    const int channels_;
    const int64_t bufLen_;
    const int64_t half_;
    const int64_t samples_;
    std::vector<uint8_t> block_;  // one block of samples as the file holds them
    std::vector<std::vector<double>> buffers_;
    std::vector<int64_t> nextPos_;
    int pct_ = 0;
    int shownPct_ = 0;
};

}  // namespace

bool Leveled(Context& ctx, double gain)
{
    const RunRequest& request = ctx.request;
    if (ExistFile(request.WorkPath) && gain == 0) {
        try {
            CopyWholeFile(request.WorkPath, request.TempPath);
            return true;
        } catch (const FileError& e) {
            ctx.host.LogLine(e.LogText());
            return false;
        } catch (...) {
            ShowErrorBoxAndRethrow(ctx.host, kProcedure);
        }
    }

    const int channels = ctx.wav.Channels;
    if ((channels != 1 && channels != 2) || std::isnan(gain)) return false;
    // An odd data size leaves a byte that belongs to no sample; it goes through with the trailer.
    const int64_t totalSamples = ctx.wav.DataSize / 2;
    if (totalSamples < kMinimumSamples) return false;
    const int64_t samples = totalSamples - totalSamples % channels;

    try {
        const File in(request.WorkPath, File::Mode::Read);
        File out(request.TempPath, File::Mode::CreateTruncate);
        Amplifier amplifier(ctx.host, std::pow(10.0, gain / 20), channels, samples);
        amplifier.Run(in, out, ctx.wav.DataStart);
        ctx.host.SetCaption("0");
        out.Close();
        return true;
    } catch (const FileError& e) {
        ctx.host.LogLine(e.LogText());
        return false;
    } catch (...) {
        ShowErrorBoxAndRethrow(ctx.host, kProcedure);
    }
}

}  // namespace varnook
