// The true-peak measure on one 3-minute 44100 Hz stereo WAV: Varnook's own (the file read as the
// loudness step reads it, and the interpolation alone on samples in memory, standard and
// precise) against libebur128's true peak on the same samples. Each row's reading (dBTP) is a
// counter beside its time; bench/true_peak.sh adds ffmpeg's and the whole-run cost.
//
//   build/bench/true_peak_bench [--benchmark_filter=...]
//
// The file is $VARNOOK_BENCH_WAV when set (a 16-bit PCM WAV), otherwise 3 minutes of generated
// 44100 Hz stereo music-like sound in a temp folder: tones under a slow swell over noise.
#include <stdlib.h>

#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/wav_info.h"
#include "dsp/true_peak.h"
#include "io/byte_order.h"
#include "io/file.h"
#include "loudness/loudness.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

constexpr int32_t kRate = 44100;
constexpr int kChannels = 2;
constexpr int64_t kHeaderBytes = 44;

struct BenchWav {
    std::filesystem::path dir;
    std::string path;
    WavInfo wav;
    std::vector<uint8_t> samples;  // the data chunk's bytes

    BenchWav()
    {
        if (const char* given = std::getenv("VARNOOK_BENCH_WAV")) {
            path = given;
        } else {
            std::string pattern = (std::filesystem::temp_directory_path() / "varnook-bench-XXXXXX").string();
            if (::mkdtemp(pattern.data()) == nullptr) std::abort();
            dir = pattern;
            path = (dir / "music.wav").string();
            Generate();
        }
        QuietHost host;
        if (WavTime(host, wav, path) < 0) std::abort();
        const File file(path, File::Mode::Read);
        samples.resize(static_cast<size_t>(wav.DataSize));
        file.ReadExactAt(wav.DataStart, samples);
    }
    ~BenchWav()
    {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }

    void Generate() const
    {
        const int64_t frames = int64_t{kRate} * 180;
        std::vector<uint8_t> bytes(static_cast<size_t>(kHeaderBytes + frames * 2 * kChannels));
        const auto id = [&](size_t at, const char* text) { std::copy(text, text + 4, bytes.begin() + static_cast<ptrdiff_t>(at)); };
        id(0, "RIFF");
        StoreLE32(&bytes[4], static_cast<int32_t>(bytes.size() - 8));
        id(8, "WAVE");
        id(12, "fmt ");
        StoreLE32(&bytes[16], 16);
        StoreLE16(&bytes[20], 1);
        StoreLE16(&bytes[22], kChannels);
        StoreLE32(&bytes[24], kRate);
        StoreLE32(&bytes[28], kRate * 2 * kChannels);
        StoreLE16(&bytes[32], 2 * kChannels);
        StoreLE16(&bytes[34], 16);
        id(36, "data");
        StoreLE32(&bytes[40], static_cast<int32_t>(frames * 2 * kChannels));
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(0, 1500);
        for (int64_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double swell = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * 0.2 * t);
            for (int c = 0; c < kChannels; ++c) {
                const double v = swell * (12000 * std::sin(2 * std::numbers::pi * (220 + 3 * c) * t) +
                                          6000 * std::sin(2 * std::numbers::pi * 1760 * t) +
                                          4000 * std::sin(2 * std::numbers::pi * 7040 * t)) + noise(rng);
                StoreLE16(&bytes[static_cast<size_t>(kHeaderBytes + (i * kChannels + c) * 2)],
                          static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0)));
            }
        }
        File out(path, File::Mode::CreateTruncate);
        out.WriteAt(0, bytes);
        out.Close();
    }
};

BenchWav& Wav()
{
    static BenchWav wav;
    return wav;
}

void Report(benchmark::State& state, double truePeak)
{
    const auto samples = static_cast<int64_t>(Wav().samples.size() / 2);
    state.SetItemsProcessed(state.iterations() * samples);
    state.counters["dBTP"] = truePeak;
}

// What the loudness step runs for "True peak before" and "after": the file read block by block.
void BM_MeasureLoudnessTruePeak(benchmark::State& state)
{
    const WavInfo& wav = Wav().wav;
    const PcmStretch stretch{Wav().path, wav.Channels, wav.SampleRate, wav.DataStart, wav.DataSize, wav.BitsPerSample};
    double truePeak = 0;
    for (auto _ : state) truePeak = MeasureLoudness(stretch, Measure::TruePeak, [] {})->TruePeak;
    Report(state, truePeak);
}
BENCHMARK(BM_MeasureLoudnessTruePeak)->Unit(benchmark::kMillisecond);

// The interpolation alone, on the samples in memory: Standard is the meter's, Precise the
// limiter's detection.
void BM_TruePeakMeter(benchmark::State& state)
{
    const auto reconstruction = state.range(0) == 0 ? Reconstruction::Standard : Reconstruction::Precise;
    double truePeak = 0;
    for (auto _ : state) {
        TruePeakMeter meter(Wav().wav.Channels, Wav().wav.SampleRate, reconstruction);
        meter.AddPcm16(Wav().samples);
        truePeak = 20 * std::log10(meter.Finish());
    }
    Report(state, truePeak);
}
BENCHMARK(BM_TruePeakMeter)->ArgName("precise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// libebur128's true peak of the same samples in memory, as Varnook measured it before.
void BM_Libebur128TruePeak(benchmark::State& state)
{
    const auto channels = static_cast<unsigned>(Wav().wav.Channels);
    std::vector<int16_t> shorts(Wav().samples.size() / 2);
    for (size_t i = 0; i < shorts.size(); ++i) shorts[i] = LoadLE16(&Wav().samples[2 * i]);
    double truePeak = 0;
    for (auto _ : state) {
        ebur128_state* meter = ebur128_init(channels, static_cast<unsigned long>(Wav().wav.SampleRate), EBUR128_MODE_TRUE_PEAK);
        ebur128_add_frames_short(meter, shorts.data(), shorts.size() / channels);
        double highest = 0;
        for (unsigned c = 0; c < channels; ++c) {
            double peak = 0;
            ebur128_true_peak(meter, c, &peak);
            highest = std::max(highest, peak);
        }
        ebur128_destroy(&meter);
        truePeak = 20 * std::log10(highest);
    }
    Report(state, truePeak);
}
BENCHMARK(BM_Libebur128TruePeak)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnook

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    varnook::Wav();  // written before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
