// How fast the loudness analysis runs, against the bare filter recurrence it is built on.
// Items are samples (a stereo frame is two), so the figures compare across channel counts.
//
//   build/bench/loudness_bench --benchmark_counters_tabular=true
//
// The WAV files are three minutes of generated 44100 Hz audio, written to a temp folder
// once and removed at exit.

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "settings/run_settings_file.h"
#include "analysis/analysis.h"
#include "analysis/equal_loudness.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "io/byte_order.h"
#include "io/file.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

constexpr int32_t kRate = 44100;
constexpr int kSeconds = 180;

// Something like music: a few tones over noise, louder and quieter by turns, the same in both
// channels of a stereo file so that it has a mono twin. `silentTail` seconds of digital silence
// at the end show the cost of a filter ringing down.
std::vector<int16_t> Music(int channels, int seconds, int silentTail = 0)
{
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0, 2000);
    const size_t frames = static_cast<size_t>(kRate) * static_cast<size_t>(seconds);
    const size_t loudFrames = static_cast<size_t>(kRate) * static_cast<size_t>(seconds - silentTail);
    std::vector<int16_t> samples;
    samples.reserve(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        double v = 0;
        if (i < loudFrames) {
            const double t = static_cast<double>(i) / kRate;
            const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.1 * t);
            v = swell * (6000 * std::sin(2 * std::numbers::pi * 220 * t) + 3000 * std::sin(2 * std::numbers::pi * 1760 * t)) +
                noise(random);
        }
        const auto s = static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        for (int c = 0; c < channels; ++c) samples.push_back(s);
    }
    return samples;
}

void WriteWav(const std::string& path, int channels, const std::vector<int16_t>& samples)
{
    const auto dataBytes = static_cast<int32_t>(samples.size() * 2);
    std::vector<uint8_t> bytes(44 + static_cast<size_t>(dataBytes));
    uint8_t* p = bytes.data();
    const auto id = [](uint8_t* at, const char* text) { std::copy(text, text + 4, at); };
    id(p, "RIFF");
    StoreLE32(p + 4, 36 + dataBytes);
    id(p + 8, "WAVE");
    id(p + 12, "fmt ");
    StoreLE32(p + 16, 16);
    StoreLE16(p + 20, 1);
    StoreLE16(p + 22, static_cast<int16_t>(channels));
    StoreLE32(p + 24, kRate);
    StoreLE32(p + 28, kRate * 2 * channels);
    StoreLE16(p + 32, static_cast<int16_t>(2 * channels));
    StoreLE16(p + 34, 16);
    id(p + 36, "data");
    StoreLE32(p + 40, dataBytes);
    for (size_t i = 0; i < samples.size(); ++i) StoreLE16(p + 44 + 2 * i, samples[i]);
    File file(path, File::Mode::CreateTruncate);
    file.WriteAt(0, bytes);
    file.Close();
}

class BenchFolder {
public:
    BenchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnook-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~BenchFolder()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    // The file for this layout, written on first use.
    const std::string& Wav(int channels, int silentTail = 0)
    {
        std::string& path = files_[static_cast<size_t>(channels - 1)][silentTail > 0 ? 1 : 0];
        if (path.empty()) {
            path = (path_ / ("music" + std::to_string(channels) + "-" + std::to_string(silentTail) + ".wav")).string();
            WriteWav(path, channels, Music(channels, kSeconds, silentTail));
        }
        return path;
    }

private:
    std::filesystem::path path_;
    std::array<std::array<std::string, 2>, 2> files_;
};

BenchFolder& Folder()
{
    static BenchFolder folder;
    return folder;
}

// The recurrence alone, over samples already in memory, with the squares summed as the
// analysis sums them.
void BM_Recurrence(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const std::vector<int16_t> samples = Music(channels, kSeconds);
    const FilterCoefficients coefficients = *FilterForRate(kRate);
    for (auto _ : state) {
        EqualLoudnessFilter filter(coefficients, channels);
        benchmark::DoNotOptimize(filter.AddSquares(samples, 0.0));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples.size()));
}
BENCHMARK(BM_Recurrence)->ArgName("channels")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The whole analysis of a file: reading, filtering, windows, sort and percentile.
void BM_Analyzed(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const int silentTail = static_cast<int>(state.range(1));
    QuietHost host;
    Context ctx(host);
    SetDefaults(ctx.settings);
    ctx.request.WorkPath = Folder().Wav(channels, silentTail);
    if (WavTime(ctx.host, ctx.wav, ctx.request.WorkPath) < 0 || !SetFilter(ctx)) {
        state.SkipWithError("could not prepare the file");
        return;
    }
    const int32_t frames = ctx.wav.DataSize / ctx.wav.BlockAlign;
    double gain = 0;
    for (auto _ : state) {
        if (Analyzed(ctx, gain, ctx.wav.DataStart, frames) != StepEnd::Finished) state.SkipWithError("analysis failed");
        benchmark::DoNotOptimize(gain);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(frames) * channels);
    state.counters["gain_dB"] = gain;
}
BENCHMARK(BM_Analyzed)
    ->ArgNames({"channels", "silent_tail_s"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 120})
    ->Unit(benchmark::kMillisecond);

// Sorting the window table of a three-minute file (3600 windows), and of a silent hour,
// where every value is equal.
void BM_QuickSort(benchmark::State& state)
{
    const auto count = static_cast<size_t>(state.range(0));
    const bool silent = state.range(1) != 0;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> level(1e5, 1e8);
    std::vector<double> table(count);
    for (auto& v : table) v = silent ? 0.0 : level(random);
    std::vector<double> work;
    for (auto _ : state) {
        work = table;
        QuickSort(work, 0, static_cast<int64_t>(work.size()) - 1);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK(BM_QuickSort)->ArgNames({"windows", "silent"})->Args({3600, 0})->Args({72000, 1});

}  // namespace
}  // namespace varnook

BENCHMARK_MAIN();
