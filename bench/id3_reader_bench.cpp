// The cost of reading tags: time per read and bytes allocated per read. The forged header (a
// body of 2^28 - 1 bytes claimed in a 4 KiB file) must cost no more than a file without a tag:
// the size is checked before anything is allocated.
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

private:
    void Write(const std::string& name, const std::vector<Bytes>& parts)
    {
        std::ofstream out(dir_ / name, std::ios::binary);
        for (const Bytes& part : parts)
            out.write(reinterpret_cast<const char*>(part.data()), static_cast<std::streamsize>(part.size()));
    }

    std::filesystem::path dir_;
};

const BenchFiles& Files()
{
    static const BenchFiles files;
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

BENCHMARK(BM_GetId3v1);
BENCHMARK(BM_GetId3v2_Typical);
BENCHMARK(BM_GetId3v2_OneMiBBody);
BENCHMARK(BM_GetId3v2_NoTag);
BENCHMARK(BM_GetId3v2_ForgedSizeClaim);

}  // namespace

BENCHMARK_MAIN();
