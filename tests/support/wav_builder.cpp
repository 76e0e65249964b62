#include "support/wav_builder.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "io/byte_order.h"

namespace varnook::test {

namespace {

// Little-endian, `bytes` bytes of `v`.
void AppendLE(std::vector<uint8_t>& out, int32_t v, int bytes)
{
    uint8_t b[4];
    StoreLE32(b, v);
    out.insert(out.end(), b, b + bytes);
}

void AppendId(std::vector<uint8_t>& out, const std::string& id)
{
    out.insert(out.end(), id.begin(), id.end());
}

void AppendChunks(std::vector<uint8_t>& out, const std::vector<Chunk>& chunks)
{
    for (const Chunk& chunk : chunks) {
        AppendId(out, chunk.id);
        AppendLE(out, static_cast<int32_t>(chunk.body.size()), 4);
        out.insert(out.end(), chunk.body.begin(), chunk.body.end());
    }
}

}  // namespace

size_t DataOffset(const WavLayout& layout)
{
    size_t offset = 12 + 8 + static_cast<size_t>(layout.fmtSize);
    for (const Chunk& c : layout.before) offset += 8 + c.body.size();
    return offset + 8;
}

std::vector<uint8_t> BuildWav(const WavLayout& layout, const std::vector<int16_t>& samples)
{
    return BuildWav(layout, std::vector<int32_t>(samples.begin(), samples.end()));
}

std::vector<uint8_t> BuildWav(const WavLayout& layout, const std::vector<int32_t>& samples)
{
    const int width = layout.bitsPerSample / 8;
    std::vector<uint8_t> out;
    AppendId(out, "RIFF");
    AppendLE(out, 0, 4);  // patched below
    AppendId(out, "WAVE");
    AppendId(out, "fmt ");
    AppendLE(out, layout.fmtSize, 4);
    const int16_t blockAlign = static_cast<int16_t>(layout.channels * layout.bitsPerSample / 8);
    AppendLE(out, layout.formatTag, 2);
    AppendLE(out, layout.channels, 2);
    AppendLE(out, layout.sampleRate, 4);
    AppendLE(out, layout.sampleRate * blockAlign, 4);
    AppendLE(out, blockAlign, 2);
    AppendLE(out, layout.bitsPerSample, 2);
    out.resize(out.size() + static_cast<size_t>(std::max(0, layout.fmtSize - 16)), 0);
    AppendChunks(out, layout.before);
    AppendId(out, "data");
    AppendLE(out, static_cast<int32_t>(samples.size()) * width, 4);
    for (int32_t s : samples) AppendLE(out, s, width);
    AppendChunks(out, layout.after);
    StoreLE32(out.data() + 4, static_cast<int32_t>(out.size() - 8));
    return out;
}

std::vector<int16_t> Sine(double frequency, double amplitude, int32_t sampleRate, size_t frames,
                          int channels)
{
    std::vector<int16_t> out;
    out.reserve(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double v = amplitude * std::sin(2 * std::numbers::pi * frequency * t);
        const double clamped = std::clamp(std::nearbyint(v), -32768.0, 32767.0);
        for (int c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(clamped));
    }
    return out;
}

std::vector<int16_t> Noise(uint32_t seed, int amplitude, size_t count)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-amplitude, amplitude);
    std::vector<int16_t> out(count);
    for (auto& s : out) s = static_cast<int16_t>(std::clamp(dist(rng), -32768, 32767));
    return out;
}

std::vector<int16_t> Silence(size_t count)
{
    return std::vector<int16_t>(count, 0);
}

std::vector<int16_t> Concat(std::vector<int16_t> a, const std::vector<int16_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace varnook::test
