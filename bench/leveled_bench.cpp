// Amplify speed next to a plain copy of the same file: a 3-minute 44100 Hz stereo WAV and its
// mono twin, generated into a temp folder ($TMPDIR; /dev/shm keeps the disk out of the
// figures). Reports samples per second and the peak resident memory, which must not grow with
// the file (one block and two buffers): VARNOOK_BENCH_MINUTES=60 shows that on an hour.
#include <stdlib.h>
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/context.h"
#include "base/host.h"
#include "editing/amplify.h"
#include "io/byte_order.h"
#include "io/file.h"

namespace {

using varnook::File;

constexpr int32_t kRate = 44100;

int64_t BenchMinutes()
{
    const char* text = std::getenv("VARNOOK_BENCH_MINUTES");
    const long minutes = text != nullptr ? std::strtol(text, nullptr, 10) : 3;
    return std::clamp<long>(minutes, 1, 180);
}

const int64_t kFrames = int64_t{kRate} * 60 * BenchMinutes();
constexpr size_t kHeaderBytes = 44;

struct BenchFiles {
    std::filesystem::path dir;
    std::string mono, stereo;

    BenchFiles()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnook-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
        mono = (dir / "mono.wav").string();
        stereo = (dir / "stereo.wav").string();
        Generate(mono, 1);
        Generate(stereo, 2);
    }
    ~BenchFiles() { std::filesystem::remove_all(dir); }

    // Music-like material: a few partials under a slow envelope plus some noise, loud enough
    // that +6 dB runs into the limit on many half-waves. Written block by block.
    static void Generate(const std::string& path, int channels)
    {
        File out(path, File::Mode::CreateTruncate);
        const int32_t blockAlign = 2 * channels;
        const int64_t dataSize = kFrames * blockAlign;
        std::vector<uint8_t> header(kHeaderBytes);
        const auto id = [&](size_t at, const char* text) {
            std::copy(text, text + 4, header.begin() + static_cast<ptrdiff_t>(at));
        };
        id(0, "RIFF");
        varnook::StoreLE32(&header[4], static_cast<int32_t>(dataSize + 36));
        id(8, "WAVE");
        id(12, "fmt ");
        varnook::StoreLE32(&header[16], 16);
        varnook::StoreLE16(&header[20], 1);
        varnook::StoreLE16(&header[22], static_cast<int16_t>(channels));
        varnook::StoreLE32(&header[24], kRate);
        varnook::StoreLE32(&header[28], kRate * blockAlign);
        varnook::StoreLE16(&header[32], static_cast<int16_t>(blockAlign));
        varnook::StoreLE16(&header[34], 16);
        id(36, "data");
        varnook::StoreLE32(&header[40], static_cast<int32_t>(dataSize));
        out.WriteAt(0, header);

        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0, 800);
        std::vector<uint8_t> block(65536);
        int64_t frame = 0;
        int64_t at = kHeaderBytes;
        while (frame < kFrames) {
            size_t used = 0;
            for (; used + static_cast<size_t>(blockAlign) <= block.size() && frame < kFrames; ++frame) {
                const double t = static_cast<double>(frame) / kRate;
                const double envelope = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * 0.2 * t);
                for (int c = 0; c < channels; ++c) {
                    const double v = envelope * (14000 * std::sin(2 * std::numbers::pi * (220 + 3 * c) * t) +
                                                 7000 * std::sin(2 * std::numbers::pi * 660 * t) +
                                                 3000 * std::sin(2 * std::numbers::pi * 1760 * t)) +
                                     noise(rng);
                    const double sample = std::clamp(std::nearbyint(v), -32768.0, 32767.0);
                    varnook::StoreLE16(&block[used], static_cast<int16_t>(sample));
                    used += 2;
                }
            }
            out.WriteAt(at, std::span(block).first(used));
            at += static_cast<int64_t>(used);
        }
    }
};

BenchFiles& Files()
{
    static BenchFiles files;
    return files;
}

const std::string& Source(int channels)
{
    return channels == 1 ? Files().mono : Files().stereo;
}

void ReportRates(benchmark::State& state, int channels)
{
    const int64_t samples = kFrames * channels;
    state.SetItemsProcessed(state.iterations() * samples);
    state.SetBytesProcessed(state.iterations() * samples * 2);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_KiB"] = static_cast<double>(usage.ru_maxrss);
}

// What any program that reads and writes the file in user space has to pay, block for block.
void BM_PlainCopy(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const std::string target = (Files().dir / "copy.tmp").string();
    std::vector<uint8_t> buffer(32768);
    for (auto _ : state) {
        const File in(Source(channels), File::Mode::Read);
        File out(target, File::Mode::CreateTruncate);
        const int64_t size = in.Size();
        for (int64_t at = 0; at < size;) {
            const size_t n = in.ReadAt(at, buffer);
            out.WriteAt(at, std::span(buffer).first(n));
            at += static_cast<int64_t>(n);
        }
        out.Close();
    }
    ReportRates(state, channels);
}

// With `limited`, the true-peak limiter holds -1 dBTP behind the whole gain.
void BM_Leveled(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const double gain = static_cast<double>(state.range(1));
    const std::optional<double> limitTo = state.range(2) != 0 ? std::optional(-1.0) : std::nullopt;
    varnook::QuietHost host;
    varnook::Context ctx(host);
    ctx.request.WorkPath = Source(channels);
    ctx.request.TempPath = (Files().dir / "VRK.tmp").string();
    ctx.wav.Channels = static_cast<int16_t>(channels);
    ctx.wav.SampleRate = kRate;
    ctx.wav.DataStart = kHeaderBytes;
    ctx.wav.DataSize = static_cast<int32_t>(kFrames * 2 * channels);
    varnook::LevelFindings findings;
    for (auto _ : state) {
        if (varnook::Leveled(ctx, gain, &findings, limitTo) != varnook::StepEnd::Finished)
            state.SkipWithError("Leveled failed");
    }
    ReportRates(state, channels);
    if (limitTo) {
        state.counters["cut_dB"] = findings.LimiterReductionDb;
        state.counters["limiting_s"] = findings.SecondsLimiting;
    }
}

BENCHMARK(BM_PlainCopy)->ArgName("channels")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
// -3 dB runs the plain regime, +6 dB the half-wave regime on most half-waves; with the limiter
// -3 dB needs no cut (the detection alone) and +6 dB cuts most of the file.
BENCHMARK(BM_Leveled)
    ->ArgNames({"channels", "gain_dB", "limited"})
    ->Args({1, -3, 0})
    ->Args({1, 6, 0})
    ->Args({2, -3, 0})
    ->Args({2, 6, 0})
    ->Args({2, -3, 1})
    ->Args({2, 6, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
