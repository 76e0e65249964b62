// The cost of carrying a source's whole tag into the new MP3, beside the encoder's seconds: a
// typical library tag (a dozen text frames, two comments, MusicBrainz TXXX frames) with and
// without a 500 kB cover, read from the source and written into a 4 MB MP3 whose tag holds
// lame's seven fields and the room the pipeline asks lame to leave (none for the cover, which
// is more than lame pads: the audio moves). Each round starts from a fresh copy of the new MP3
// (copied outside the timing).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "id3/carry_over.h"

namespace {

constexpr size_t kLamePadding = 128;

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

void Append(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// A 2.3 frame of `data` (encoding byte included by the caller).
void AppendFrame(Bytes& out, const std::string& id, const std::string& data)
{
    const auto size = static_cast<uint32_t>(data.size());
    Append(out, id);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(size >> shift));
    out.insert(out.end(), {0, 0});
    Append(out, data);
}

Bytes Tag(const Bytes& frames, size_t padding)
{
    const auto size = static_cast<uint32_t>(frames.size() + padding);
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    tag.resize(tag.size() + padding, 0);
    return tag;
}

Bytes SourceTag(size_t coverBytes)
{
    using namespace std::string_literals;
    Bytes frames;
    for (const char* id : {"TIT2", "TPE1", "TALB", "TYER", "TRCK", "TCON", "TPE2", "TPOS", "TCOM", "TBPM",
                           "TKEY", "TSRC", "TCOP", "TPUB"})
        AppendFrame(frames, id, "\0A text of some length"s);
    AppendFrame(frames, "COMM", "\0eng\0The comment"s);
    AppendFrame(frames, "COMM", "\0deu\0Other\0Ein Kommentar"s);
    AppendFrame(frames, "USLT", "\0eng\0"s + std::string(2000, 'l'));
    for (const char* name : {"MusicBrainz Album Id", "MusicBrainz Artist Id", "MusicBrainz Release Group Id"})
        AppendFrame(frames, "TXXX", "\0"s + name + "\0" + "89ad4ac3-39f7-470e-963a-56509c546377");
    AppendFrame(frames, "TXXX", "\0REPLAYGAIN_TRACK_GAIN\0-6.20 dB"s);
    if (coverBytes > 0) AppendFrame(frames, "APIC", "\0image/jpeg\0\x03\0"s + std::string(coverBytes, '\xAB'));
    return Tag(frames, 1024);
}

Bytes NewMp3(size_t padding)
{
    using namespace std::string_literals;
    Bytes frames;
    for (const char* id : {"TIT2", "TPE1", "TALB", "TYER", "TRCK", "TCON"}) AppendFrame(frames, id, "\0Text"s);
    AppendFrame(frames, "TSSE", "\0LAME 64bits version 3.100"s);
    Bytes file = Tag(frames, padding);
    file.resize(file.size() + (4 << 20), 0x55);
    return file;
}

void Write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class BenchFiles {
public:
    BenchFiles()
    {
        std::string pattern = (fs::temp_directory_path() / "varnook-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        Write(dir_ / "plain.mp3", SourceTag(0));
        Write(dir_ / "cover.mp3", SourceTag(500 * 1000));
        for (const char* source : {"plain.mp3", "cover.mp3"}) {
            const size_t room = varnook::CarriedFrames(Path(source).string()).RoomNeeded();
            Write(dir_ / (std::string("new-for-") + source), NewMp3(room > 0 ? room : kLamePadding));
        }
    }
    ~BenchFiles()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    BenchFiles(const BenchFiles&) = delete;
    BenchFiles& operator=(const BenchFiles&) = delete;

    fs::path Path(const std::string& name) const { return dir_ / name; }

private:
    fs::path dir_;
};

void CarryInto(benchmark::State& state, const std::string& source)
{
    static const BenchFiles files;
    const fs::path target = files.Path("target.mp3");
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(files.Path("new-for-" + source), target, fs::copy_options::overwrite_existing);
        state.ResumeTiming();
        varnook::CarriedFrames frames(files.Path(source).string());
        if (!frames.WriteInto(target.string())) state.SkipWithError("not written");
    }
}

void BM_CarryOver_TypicalTag(benchmark::State& state) { CarryInto(state, "plain.mp3"); }
void BM_CarryOver_TagWith500kBCover(benchmark::State& state) { CarryInto(state, "cover.mp3"); }

BENCHMARK(BM_CarryOver_TypicalTag)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CarryOver_TagWith500kBCover)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
