// Test audio made in the test: WAV files built byte by byte, generated signals with fixed seeds,
// and sample readers, so no test depends on a committed recording.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnook::test {

struct Chunk {
    std::string id;  // four characters
    std::vector<uint8_t> body;
};

struct WavLayout {
    int16_t channels = 1;
    int32_t sampleRate = 44100;
    int16_t bitsPerSample = 16;
    int16_t formatTag = 1;
    int32_t fmtSize = 16;             // extra fmt bytes beyond 16 are zero
    std::vector<Chunk> before;        // chunks between "fmt " and "data"
    std::vector<Chunk> after;         // chunks after the sample data (the trailer)
};

// A complete, consistent WAV file holding `samples` (interleaved) as its "data" chunk, each in
// layout.bitsPerSample / 8 bytes (the 32-bit form for 24-bit files).
std::vector<uint8_t> BuildWav(const WavLayout& layout, const std::vector<int16_t>& samples);
std::vector<uint8_t> BuildWav(const WavLayout& layout, const std::vector<int32_t>& samples);

// Offset of the first sample byte in BuildWav's output for this layout.
size_t DataOffset(const WavLayout& layout);

// A sine of `frames` frames, the same in every channel, peak `amplitude` (may exceed 32767
// before rounding; values are clamped to the 16-bit range).
std::vector<int16_t> Sine(double frequency, double amplitude, int32_t sampleRate, size_t frames,
                          int channels = 1);
// Uniform white noise in [-amplitude, amplitude], reproducible from the seed.
std::vector<int16_t> Noise(uint32_t seed, int amplitude, size_t count);
// `count` zero samples.
std::vector<int16_t> Silence(size_t count);
// Music-like material, interleaved, reproducible from the seed: the three kinds a true-peak
// measure and a limiter meet. Dense is pink noise band-limited at 16 kHz, as a mastered mix is,
// driven so far that about one sample in a hundred is clipped, whose corners ring up to the top
// of the band; Piano is sparse notes of decaying, slightly
// inharmonic partials peaking at -1 dBFS; Speech is voiced bursts through two formants with
// pauses between them. Each note or burst of a stereo file has a place of its own between the
// channels; Dense's channels share most of their noise.
enum class Material { Dense, Piano, Speech };
std::vector<int16_t> MusicLike(Material kind, uint32_t seed, int32_t sampleRate, size_t frames, int channels = 2);

// a followed by b.
std::vector<int16_t> Concat(std::vector<int16_t> a, const std::vector<int16_t>& b);

}  // namespace varnook::test
