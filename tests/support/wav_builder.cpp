#include "support/wav_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string_view>

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

void AppendId(std::vector<uint8_t>& out, std::string_view id) { out.insert(out.end(), id.begin(), id.end()); }

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
    const int width = layout.bitsPerSample / 8, blockAlign = layout.channels * width;
    std::vector<uint8_t> out;
    AppendId(out, std::string_view("RIFF\0\0\0\0WAVEfmt ", 16));  // the RIFF size patched below
    for (const auto& [value, bytes] : {std::pair{layout.fmtSize, 4}, {layout.formatTag, 2}, {layout.channels, 2},
                                       {layout.sampleRate, 4}, {layout.sampleRate * blockAlign, 4}, {blockAlign, 2},
                                       {layout.bitsPerSample, 2}})
        AppendLE(out, value, bytes);
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

namespace {

// White noise through Paul Kellet's economical pink filter.
struct PinkNoise {
    std::mt19937 rng;
    std::normal_distribution<double> normal{0, 1};
    double b0 = 0, b1 = 0, b2 = 0;
    double Next()
    {
        const double white = normal(rng);
        b0 = 0.99765 * b0 + white * 0.0990460;
        b1 = 0.96300 * b1 + white * 0.2965164;
        b2 = 0.57000 * b2 + white * 1.0526913;
        return b0 + b1 + b2 + white * 0.1848;
    }
};

// One second-order low-pass section (RBJ's biquad).
struct Lowpass {
    double b0 = 0, b1 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
    double Next(double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b0 * x - a2 * y;
        return y;
    }
};

Lowpass MakeLowpass(double frequency, double q, double rate)
{
    const double w = 2 * std::numbers::pi * frequency / rate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha;
    return {(1 - std::cos(w)) / 2 / a0, (1 - std::cos(w)) / a0, -2 * std::cos(w) / a0, (1 - alpha) / a0};
}

// Adds an event's mono signal to the interleaved channels, placed by `pan` (0 left, 1 right).
void AddPanned(std::vector<double>& out, int channels, size_t frame, double value, double pan)
{
    const double angle = pan * std::numbers::pi / 2;
    for (int c = 0; c < channels; ++c)
        out[frame * channels + c] += channels == 1 ? value : value * (c == 0 ? std::cos(angle) : std::sin(angle));
}

std::vector<int16_t> ScaledToPeak(const std::vector<double>& values, double peak)
{
    double largest = 0;
    for (double v : values) largest = std::max(largest, std::abs(v));
    std::vector<int16_t> out(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp(std::nearbyint(values[i] * peak / largest), -32768.0, 32767.0));
    return out;
}

}  // namespace

std::vector<int16_t> MusicLike(Material kind, uint32_t seed, int32_t sampleRate, size_t frames, int channels)
{
    const auto rate = static_cast<double>(sampleRate);
    const auto width = static_cast<size_t>(channels);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::vector<double> values(frames * width);
    if (kind == Material::Dense) {
        PinkNoise shared{std::mt19937(seed)}, left{std::mt19937(seed + 1)}, right{std::mt19937(seed + 2)};
        std::array<std::array<Lowpass, 2>, 2> band{};
        for (auto& channel : band) channel = {MakeLowpass(16000, 0.54, rate), MakeLowpass(16000, 1.31, rate)};
        for (size_t i = 0; i < frames; ++i) {
            const double common = shared.Next();
            for (size_t c = 0; c < width; ++c) {
                const double own = (c == 0 ? left : right).Next();
                values[i * width + c] = band[c][1].Next(band[c][0].Next(0.9 * common + 0.3 * own));
            }
        }
        // Driven so that about one sample in a hundred hits the 16-bit limits.
        return ScaledToPeak(values, 32768 * 1.6);
    }
    if (kind == Material::Piano) {
        const auto notes = static_cast<size_t>(3 * static_cast<double>(frames) / rate) + 1;
        for (size_t note = 0; note < notes; ++note) {
            const auto start = static_cast<size_t>(uniform(rng) * static_cast<double>(frames));
            const double fundamental = 55 * std::pow(2, std::floor(uniform(rng) * 60) / 12);
            const double loudness = 0.2 + 0.8 * uniform(rng), pan = uniform(rng);
            for (int h = 1; h <= 12 && fundamental * h < rate / 2.2; ++h) {
                // Each partial a decaying phasor, turned and shrunk a step per sample.
                const double step = 2 * std::numbers::pi * fundamental * h * std::sqrt(1 + 0.0004 * h * h) / rate;
                const std::complex<double> turn = std::polar(std::exp(-(1 + 0.3 * h) / (1.5 * rate)), step);
                std::complex<double> partial = std::polar(loudness / h, 2 * std::numbers::pi * uniform(rng));
                const size_t end = std::min(frames, start + static_cast<size_t>(4 * rate));
                for (size_t i = start; i < end; ++i, partial *= turn) AddPanned(values, channels, i, partial.imag(), pan);
            }
        }
        return ScaledToPeak(values, 32768 * std::pow(10, -1.0 / 20));
    }
    std::normal_distribution<double> breath(0, 0.05);
    for (size_t at = 0; at < frames;) {
        const auto length = static_cast<size_t>(rate * (0.08 + 0.25 * uniform(rng)));
        const double pitch = 100 + 120 * uniform(rng), pan = 0.3 + 0.4 * uniform(rng);
        const double loudness = 0.2 + 0.8 * uniform(rng);
        // Two resonators (the formants) ringing on a pulse train (the voice) and a little noise.
        double formant[2][2] = {}, coefficient[2];
        const double radius = 0.97;
        for (double& c : coefficient) c = 2 * radius * std::cos(2 * std::numbers::pi * (300 + 2000 * uniform(rng)) / rate);
        for (size_t k = 0; k < length && at < frames; ++k, ++at) {
            const double pulse = std::fmod(static_cast<double>(k) * pitch / rate, 1.0) < 0.02 ? 1.0 : 0.0;
            double sum = 0;
            for (int f = 0; f < 2; ++f) {
                const double next = pulse + breath(rng) + coefficient[f] * formant[f][0] - radius * radius * formant[f][1];
                formant[f][1] = formant[f][0];
                formant[f][0] = next;
                sum += next;
            }
            AddPanned(values, channels, at, loudness * std::sin(std::numbers::pi * static_cast<double>(k) / static_cast<double>(length)) * sum, pan);
        }
        at += static_cast<size_t>(rate * (0.05 + 0.3 * uniform(rng)));
    }
    return ScaledToPeak(values, 32768 * std::pow(10, -3.0 / 20));
}

std::vector<int16_t> Silence(size_t count) { return std::vector<int16_t>(count, 0); }

std::vector<int16_t> Concat(std::vector<int16_t> a, const std::vector<int16_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace varnook::test
