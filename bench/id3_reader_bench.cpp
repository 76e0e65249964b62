// The cost of reading tags: time per read and bytes allocated per read. The forged header (a
// body of 2^28 - 1 bytes claimed in a 4 KiB file) must cost no more than a file without a tag:
// the size is checked before anything is allocated. The carry-over's walk over every frame of a
// tag must cost time and memory in proportion to the frames: 5,000 TXXX frames, and a
// megabyte of 20-byte frames, once took 964 MB and 3.7 GB.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "id3/carry_over.h"
#include "id3/id3_reader.h"

namespace {

// Counts every allocation of the process; read as a difference around the reads.
std::atomic<size_t> gAllocatedBytes{0};

}  // namespace

// Kept out of line: inlined into a caller, GCC takes the free() for a mismatch with new.
[[gnu::noinline]] void* operator new(size_t size)
{
    gAllocatedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* p) noexcept
{
    std::free(p);
}

[[gnu::noinline]] void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// A 2.3 text frame with Latin-1 encoding.
void AppendFrame(Bytes& out, const std::string& id, const std::string& text)
{
    const auto size = static_cast<uint32_t>(text.size() + 1);
    Append(out, id);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(size >> shift));
    out.insert(out.end(), {0, 0, 0});
    Append(out, text);
}

Bytes V2Tag(size_t padding)
{
    Bytes body;
    AppendFrame(body, "TIT2", "Night Drive");
    AppendFrame(body, "TPE1", "The Examples");
    AppendFrame(body, "TALB", "Test Pressing");
    AppendFrame(body, "TYER", "1999");
    AppendFrame(body, "TCON", "(17)Rock");
    AppendFrame(body, "TRCK", "7/12");
    AppendFrame(body, "COMM", std::string("eng\0Recorded live", 17));
    body.resize(body.size() + padding, 0);
    const auto size = static_cast<uint32_t>(body.size());
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}

Bytes V2Tag(const Bytes& frames)
{
    const auto size = static_cast<uint32_t>(frames.size());
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

// `count` TXXX frames as a tagger writes MusicBrainz and other ids (62 bytes each), or as short
// as a frame gets with its two texts (20 bytes each: a megabyte is 50,000 frames).
Bytes TxxxFrames(int64_t count, bool shortest)
{
    Bytes frames;
    for (int64_t i = 0; i < count; ++i) {
        const std::string key = (shortest ? "K" : "Some Tagger Key ") + std::to_string(1000000 + i).substr(1);
        AppendFrame(frames, "TXXX", key + std::string(1, '\0') + (shortest ? "v" : "89ad4ac3-39f7-470e-963a-5650"));
    }
    return frames;
}

Bytes V1Tag()
{
    Bytes tag(128, 0);
    const std::string fields = "TAGNight Drive";
    std::copy(fields.begin(), fields.end(), tag.begin());
    tag[127] = 17;
    return tag;
}

class BenchFiles {
public:
    BenchFiles()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnook-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        const Bytes audio(1 << 20, 0xAA);
        Write("typical.mp3", {V2Tag(1024), audio, V1Tag()});
        Write("cover.mp3", {V2Tag(1 << 20), audio, V1Tag()});
        Write("untagged.mp3", {audio});
        Write("forged.mp3", {Bytes{'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, Bytes(4086, 0)});
    }
    ~BenchFiles()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    BenchFiles(const BenchFiles&) = delete;
    BenchFiles& operator=(const BenchFiles&) = delete;

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // The file `name`, written from `parts` the first time it is asked for.
    std::string Made(const std::string& name, const std::vector<Bytes>& parts)
    {
        if (!std::filesystem::exists(dir_ / name)) Write(name, parts);
        return Path(name);
    }

private:
    void Write(const std::string& name, const std::vector<Bytes>& parts)
    {
        std::ofstream out(dir_ / name, std::ios::binary);
        for (const Bytes& part : parts)
            out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
    }

    std::filesystem::path dir_;
};

BenchFiles& Files()
{
    static BenchFiles files;
    return files;
}

template <varnook::Id3TagSet (*Reader)(const std::string&)>
void ReadTags(benchmark::State& state, const std::string& name)
{
    const std::string path = Files().Path(name);
    const size_t before = gAllocatedBytes.load();
    for (auto _ : state) benchmark::DoNotOptimize(Reader(path));
    state.counters["bytes_allocated"] = benchmark::Counter(
        static_cast<double>(gAllocatedBytes.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_GetId3v1(benchmark::State& state) { ReadTags<varnook::GetId3v1>(state, "typical.mp3"); }
void BM_GetId3v2_Typical(benchmark::State& state) { ReadTags<varnook::GetId3v2>(state, "typical.mp3"); }
void BM_GetId3v2_OneMiBBody(benchmark::State& state) { ReadTags<varnook::GetId3v2>(state, "cover.mp3"); }
void BM_GetId3v2_NoTag(benchmark::State& state) { ReadTags<varnook::GetId3v2>(state, "untagged.mp3"); }
void BM_GetId3v2_ForgedSizeClaim(benchmark::State& state) { ReadTags<varnook::GetId3v2>(state, "forged.mp3"); }

// Reading the frames to carry from an MP3 whose tag holds state.range(0) TXXX frames.
void CarriedFramesRead(benchmark::State& state, bool shortest)
{
    const int64_t count = state.range(0);
    const std::string path = Files().Made((shortest ? "short-" : "txxx-") + std::to_string(count) + ".mp3",
                                          {V2Tag(TxxxFrames(count, shortest)), Bytes(4096, 0xAA)});
    const size_t before = gAllocatedBytes.load();
    for (auto _ : state) benchmark::DoNotOptimize(varnook::CarriedFrames(path).RoomNeeded());
    state.counters["bytes_allocated"] = benchmark::Counter(
        static_cast<double>(gAllocatedBytes.load() - before), benchmark::Counter::kAvgIterations);
    state.SetComplexityN(count);
}

void BM_CarriedFrames_TxxxFrames(benchmark::State& state) { CarriedFramesRead(state, false); }
void BM_CarriedFrames_ShortestFrames(benchmark::State& state) { CarriedFramesRead(state, true); }

BENCHMARK(BM_GetId3v1);
BENCHMARK(BM_GetId3v2_Typical);
BENCHMARK(BM_GetId3v2_OneMiBBody);
BENCHMARK(BM_GetId3v2_NoTag);
BENCHMARK(BM_GetId3v2_ForgedSizeClaim);
BENCHMARK(BM_CarriedFrames_TxxxFrames)->Arg(1250)->Arg(2500)->Arg(5000)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CarriedFrames_ShortestFrames)->Arg(12500)->Arg(25000)->Arg(50000)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
