#include "analysis/analysis.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <utility>

#include "analysis/equal_loudness.h"
#include "base/context.h"
#include "io/errors.h"
#include "io/guarded.h"
#include "io/file.h"

namespace varnook {

namespace {

constexpr int64_t kBlockFrames = 8192;
constexpr int32_t kWindowsPerSecond = 20;  // 50 ms windows
constexpr double kSilenceGain = 90;
constexpr size_t kSortStackStart = 6;

// 50 ms with the fraction dropped, but never longer than the stretch measured (the trim step
// measures single windows) and never empty, so a nonsense rate cannot divide by zero.
int64_t WindowFrames(int32_t sampleRate, int32_t frameCount)
{
    const int64_t window = std::min<int64_t>(sampleRate / kWindowsPerSecond, frameCount);
    return std::max<int64_t>(window, 1);
}

// Room for every window the file can actually hold, so a frame count larger than the file
// never reserves memory for windows that cannot come.
size_t ExpectedWindows(const File& file, int64_t position, int64_t frameCount, int64_t frameBytes,
                       int64_t windowFrames)
{
    if (position < 0) return 0;  // the read will fail with a file error
    const int64_t available = (file.Size() - position) / frameBytes;
    const int64_t frames = std::clamp<int64_t>(available, 0, std::max<int64_t>(frameCount, 0));
    return static_cast<size_t>(frames / windowFrames);
}

// Reads the stretch block by block, runs the filter over it with its state carried across the
// blocks, and returns the mean square of every completed window. A window that does not fill up
// at the end is dropped. A stop request ends the reading and gives nothing: an hour of audio
// takes seconds, and the user who pressed Ctrl+C is not to wait for its end.
std::optional<std::vector<double>> MeasureWindows(Context& ctx, const WavInfo& wav, const File& file,
                                                  int32_t position, int32_t frameCount)
{
    Host& host = ctx.host;
    const int channels = wav.Channels;
    EqualLoudnessFilter filter(ctx.filter, channels);
    const bool deep = wav.BitsPerSample == kDeepBits;
    const int64_t bytesPerSample = deep ? 3 : 2;
    const int64_t frameBytes = bytesPerSample * channels;
    const int64_t windowFrames = WindowFrames(wav.SampleRate, frameCount);
    const size_t windowSamples = static_cast<size_t>(windowFrames * channels);

    std::vector<double> windows;
    windows.reserve(ExpectedWindows(file, position, frameCount, frameBytes, windowFrames));
    const int64_t bufferFrames = std::clamp<int64_t>(frameCount, 1, kBlockFrames);
    std::vector<uint8_t> bytes(static_cast<size_t>(bufferFrames * frameBytes));

    double sum = 0;
    size_t count = 0;
    int64_t readPosition = position;
    int64_t remaining = frameCount;
    int shownPercent = 0;
    int computedPercent = 0;
    do {
        host.Yield();
        if (ctx.stop->Requested()) return std::nullopt;
        if (remaining < 1) {
            host.LogLine("No more samples left in chunk!");
            break;
        }
        // The caption changes at most every second block: one pass works the figure out, the
        // next shows it, so a long file does not spend its time repainting the title.
        if (computedPercent != shownPercent) {
            host.SetCaption(std::to_string(computedPercent));
            shownPercent = computedPercent;
        } else {
            const double done = 1.0 - static_cast<double>(remaining) / frameCount;
            computedPercent = static_cast<int>(std::nearbyint(done * 100));
        }

        const int64_t blockFrames = std::min(kBlockFrames, remaining);
        const auto wanted = static_cast<size_t>(blockFrames * frameBytes);
        const size_t got = file.ReadAt(readPosition, std::span(bytes.data(), wanted));
        readPosition += static_cast<int64_t>(got);
        // Only whole frames that were really read are filtered: the rest of a short block holds
        // nothing from the file.
        const size_t blockSamples = got / static_cast<size_t>(frameBytes) * static_cast<size_t>(channels);

        size_t done = 0;
        while (done < blockSamples) {
            const size_t take = std::min(blockSamples - done, windowSamples - count);
            const std::span samples(bytes.data() + static_cast<size_t>(bytesPerSample) * done,
                                    static_cast<size_t>(bytesPerSample) * take);
            sum = deep ? filter.AddSquaresPcm24(samples, sum) : filter.AddSquaresPcm16(samples, sum);
            count += take;
            done += take;
            if (count == windowSamples) {
                windows.push_back(sum / static_cast<double>(count));
                sum = 0;
                count = 0;
            }
        }
        // A short read means the file ended before the frames asked for; we say so even when it
        // happens in the last block, where a later pass would never come to notice it.
        if (got < wanted) {
            host.LogLine("EOF reached before time!");
            break;
        }
        remaining -= blockFrames;
    } while (remaining != 0);
    return windows;
}

}  // namespace

void QuickSort(std::vector<double>& values, int64_t first, int64_t last)
{
    if (first >= last) return;
    if (first < 0 || last >= static_cast<int64_t>(values.size()))
        throw ProgramError(program_errors::kSubscriptOutOfRange, "Sort range outside the table");

    // A random pivot keeps every input, sorted or not, at n log n on average; the generator is
    // this call's own, so two analyses never share state.
    std::mt19937 random(std::random_device{}());
    std::vector<std::pair<int64_t, int64_t>> pending;
    pending.reserve(kSortStackStart);
    int64_t lo = first;
    int64_t hi = last;
    for (;;) {
        while (lo < hi) {
            const int64_t pivotAt = std::uniform_int_distribution<int64_t>(lo, hi)(random);
            const double pivot = values[pivotAt];
            values[pivotAt] = values[lo];
            // Partition around a hole that starts at lo. Both scans stop at values equal to the
            // pivot, so runs of equal values (the zeros of digital silence) are split down the
            // middle instead of one at a time, which would make a silent hour quadratic.
            int64_t i = lo;
            int64_t j = hi;
            while (i < j) {
                while (i < j && values[j] > pivot) --j;
                if (i < j) values[i++] = values[j];
                while (i < j && values[i] < pivot) ++i;
                if (i < j) values[j--] = values[i];
            }
            values[i] = pivot;
            // Go on with the smaller part and keep the larger for later, so the stack stays at
            // log2 of the range.
            if (i - lo < hi - i) {
                pending.emplace_back(i + 1, hi);
                hi = i - 1;
            } else {
                pending.emplace_back(lo, i - 1);
                lo = i + 1;
            }
        }
        if (pending.empty()) return;
        std::tie(lo, hi) = pending.back();
        pending.pop_back();
    }
}

double RecommendedGain(std::vector<double>& windows, double pinkRef, double rmsPercent, double rmsDiff)
{
    const auto n = static_cast<int64_t>(windows.size());
    QuickSort(windows, 0, n - 1);
    const double silenceFactor = std::pow(10.0, rmsDiff / 10);
    double representative = 0;
    for (int64_t i = 1; i <= n; ++i) {
        double k = std::nearbyint(static_cast<double>(n - i) * rmsPercent + static_cast<double>(i));
        // A percentile outside 0 to 1 (typed in the window or given on the command line) would
        // point outside the table: keep it on the table's ends.
        if (!(k >= 1)) k = 1;
        if (k > static_cast<double>(n)) k = static_cast<double>(n);
        representative = windows[static_cast<size_t>(k) - 1];
        if (silenceFactor * windows[static_cast<size_t>(i) - 1] > representative) break;
    }
    if (representative <= 0) return kSilenceGain;
    return pinkRef - 10 * std::log10(representative);
}

StepEnd Analyzed(Context& ctx, double& gain, int32_t position, int32_t frameCount, std::vector<double>* windows)
{
    const std::string* path = &ctx.request.WorkPath;
    const WavInfo* wav = &ctx.wav;
    if (const std::optional<MeasuringCopy>& copy = ctx.measuringCopy) {
        // The same stretch of time in the copy: frames scaled by the rates, rounded to the nearest,
        // and never past the copy's end, which the resampler's rounding may put a frame early.
        const double scale = static_cast<double>(copy->Wav.SampleRate) / copy->FromRate;
        const double frame = static_cast<double>(position - copy->FromDataStart) / copy->FromBlockAlign;
        position = static_cast<int32_t>(copy->Wav.DataStart + std::nearbyint(frame * scale) * copy->Wav.BlockAlign);
        const int64_t left = (int64_t{copy->Wav.DataStart} + copy->Wav.DataSize - position) / copy->Wav.BlockAlign;
        frameCount = static_cast<int32_t>(std::min<int64_t>(std::llround(frameCount * scale), std::max<int64_t>(left, 1)));
        path = &copy->Path;
        wav = &copy->Wav;
    }
    bool stopped = false;
    const bool done = Guarded(
        ctx.host, "Analyzed",
        [&] {
            File file(*path, File::Mode::Read);
            std::optional<std::vector<double>> measured = MeasureWindows(ctx, *wav, file, position, frameCount);
            file.Close();
            stopped = !measured;
            if (stopped) return;
            gain = RecommendedGain(*measured, ctx.settings.PinkRef, ctx.settings.RmsPercent, ctx.settings.RmsDiff);
            if (windows != nullptr) *windows = std::move(*measured);
        },
        kInterruptedIntro);
    if (!done) return StepEnd::Failed;
    return stopped ? StepEnd::Stopped : StepEnd::Finished;
}

}  // namespace varnook
