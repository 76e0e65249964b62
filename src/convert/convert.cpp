#include "convert/convert.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include <sndfile.h>
#include <sys/stat.h>

#include "convert/resampler.h"
#include "convert/tpdf_dither.h"
#include "convert/whole_stream.h"
#include "convert/work_wav.h"
#include "io/byte_order.h"
#include "io/file.h"

namespace varnook {
namespace {

constexpr sf_count_t kBlockFrames = 8192;
constexpr int32_t kHighestKeptRate = 48000;
constexpr int32_t kCdRate = 44100;
constexpr int kMaxChannels = 2;

ConvertResult Describe(const WholeStream& source)
{
    ConvertResult result;
    if (source.Get() == nullptr) return result;
    const SF_INFO& info = source.Info();
    result.Channels = info.channels;
    result.SourceRate = info.samplerate;
    if (info.channels < 1 || info.channels > kMaxChannels) {
        result.Reason = std::to_string(info.channels) + " channels; only mono and stereo can be processed";
    } else if (info.samplerate <= 0) {
        result.Reason = "no sample rate";
    } else {
        result.Rate = ConvertedRate(info.samplerate);
        result.Ok = true;
    }
    return result;
}

// 8 and 16-bit integers fit 16 bits as they are; only a wider word or a new rate needs dither.
bool KeepsSamplesExactly(const SF_INFO& info)
{
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    const bool narrow = encoding == SF_FORMAT_PCM_16 || encoding == SF_FORMAT_PCM_S8 || encoding == SF_FORMAT_PCM_U8;
    return narrow && ConvertedRate(info.samplerate) == info.samplerate;
}

// Integers wider than 16 bits and floats: what an output of any depth keeps at 24 bits.
bool WiderThan16(const SF_INFO& info)
{
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    return encoding == SF_FORMAT_PCM_24 || encoding == SF_FORMAT_PCM_32 || encoding == SF_FORMAT_FLOAT ||
           encoding == SF_FORMAT_DOUBLE;
}

constexpr double kPcm24FullScale = 8388608;  // 2^23: libsndfile's 1.0
constexpr double kPcm24Lowest = -kPcm24FullScale;
constexpr double kPcm24Highest = kPcm24FullScale - 1;
constexpr int kBytesPer24 = 3;

// A sample on libsndfile's scale as the nearest 24-bit step (halves to even), held at full scale.
// Through a double, a 24-bit integer comes back exactly and a 32-bit one is rounded once.
int32_t Round24(double sample)
{
    return static_cast<int32_t>(std::nearbyint(std::clamp(sample * kPcm24FullScale, kPcm24Lowest, kPcm24Highest)));
}

// Each returns the frames it read from the source.
int64_t CopyExactly(SNDFILE* source, int channels, WorkWavWriter& out, const std::function<void()>& yield)
{
    std::vector<int16_t> block(static_cast<size_t>(kBlockFrames * channels));
    int64_t framesRead = 0;
    for (;;) {
        const sf_count_t frames = sf_readf_short(source, block.data(), kBlockFrames);
        if (frames <= 0) break;
        framesRead += frames;
        out.Append(std::span(block.data(), static_cast<size_t>(frames * channels)));
        yield();
    }
    return framesRead;
}

void Quantize(std::span<const float> samples, TpdfDither& dither, std::vector<int16_t>& pcm, WorkWavWriter& out)
{
    pcm.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) pcm[i] = dither.Quantize(samples[i]);
    out.Append(pcm);
}

int64_t CopyAt24Bits(SNDFILE* source, int channels, WorkWavWriter& out, const std::function<void()>& yield)
{
    std::vector<double> block(static_cast<size_t>(kBlockFrames * channels));
    std::vector<int32_t> pcm;
    int64_t framesRead = 0;
    for (;;) {
        const sf_count_t frames = sf_readf_double(source, block.data(), kBlockFrames);
        if (frames <= 0) break;
        framesRead += frames;
        pcm.resize(static_cast<size_t>(frames * channels));
        for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = Round24(block[i]);
        out.Append(pcm);
        yield();
    }
    return framesRead;
}

int64_t ConvertThroughFloat(SNDFILE* source, const SF_INFO& info, int32_t rate, WorkWavWriter& out,
                            const std::function<void()>& yield)
{
    int64_t framesRead = 0;
    const int channels = info.channels;
    std::vector<float> block(static_cast<size_t>(kBlockFrames * channels));
    std::vector<int16_t> pcm;
    TpdfDither dither;
    std::unique_ptr<Resampler> resampler;
    if (rate != info.samplerate) resampler = std::make_unique<Resampler>(info.samplerate, rate, channels);
    for (;;) {
        const sf_count_t frames = sf_readf_float(source, block.data(), kBlockFrames);
        if (frames <= 0) break;
        framesRead += frames;
        const std::span<const float> read(block.data(), static_cast<size_t>(frames * channels));
        Quantize(resampler ? resampler->Process(read) : read, dither, pcm, out);
        yield();
    }
    if (resampler) Quantize(resampler->Flush(), dither, pcm, out);
    return framesRead;
}

}  // namespace

int32_t ConvertedRate(int32_t rate)
{
    if (rate <= kHighestKeptRate) return rate;
    return rate % kCdRate == 0 ? kCdRate : kHighestKeptRate;
}

ConvertResult ProbeSource(const std::string& source)
{
    return Describe(WholeStream(source));
}

double AudioSeconds(const std::string& source)
{
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    const WholeStream stream(source);
    const std::optional<int64_t> frames = stream.HeaderFrames();
    if (stream.Get() == nullptr || !frames || stream.Info().samplerate <= 0) return 0;
    return static_cast<double>(*frames) / stream.Info().samplerate;
}

ConvertResult ConvertToWorkWav(const std::string& source, const std::string& work, bool keepDepth,
                               const std::function<void()>& yield)
{
    const WholeStream stream(source);
    ConvertResult result = Describe(stream);
    if (!result.Ok) return result;

    const SF_INFO& info = stream.Info();
    const bool deep = keepDepth && WiderThan16(info);
    if (deep) {
        result.Rate = info.samplerate;
        result.Bits = kWorkBits24;
    }
    WorkWavWriter out(work, result.Channels, result.Rate, result.Bits);
    const int64_t read = deep                            ? CopyAt24Bits(stream.Get(), info.channels, out, yield)
                         : KeepsSamplesExactly(info)     ? CopyExactly(stream.Get(), info.channels, out, yield)
                                                         : ConvertThroughFloat(stream.Get(), info, result.Rate, out, yield);
    out.Finish();
    // A stream that breaks off midway, or ends before the length its header gives, reads as its
    // end: the work file must not pass for the whole song then. One that goes on past that
    // length is taken whole.
    const std::optional<int64_t> counted = stream.HeaderFrames();
    if (sf_error(stream.Get()) != SF_ERR_NO_ERROR) {
        result.Reason = sf_strerror(stream.Get());
    } else if (!stream.ReadError().empty()) {
        result.Reason = stream.ReadError();
    } else if (counted && read < *counted) {
        result.Reason = "The stream ends after " + std::to_string(read) + " of the " + std::to_string(*counted) +
                        " samples its header counts";
    } else if (counted && read > *counted) {
        result.Note = "The header counts " + std::to_string(*counted) + " samples; the stream holds " +
                      std::to_string(read);
    }
    result.Ok = result.Reason.empty();
    return result;
}

WavInfo WriteResampledCopy(const std::string& work, const WavInfo& wav, const std::string& copy, int32_t rate)
{
    const int channels = wav.Channels;
    const File in(work, File::Mode::Read);
    WorkWavWriter out(copy, channels, rate, kWorkBits24);
    // Only measured, never delivered: the high setting's noise floor lies far below what the
    // analysis can hear, for half the work.
    Resampler resampler(wav.SampleRate, rate, channels, Resampler::Quality::High);
    const int64_t frameBytes = int64_t{kBytesPer24} * channels;
    std::vector<uint8_t> bytes(static_cast<size_t>(kBlockFrames * frameBytes));
    std::vector<float> samples;
    std::vector<int32_t> pcm;
    const auto append = [&](std::span<const float> resampled) {
        pcm.resize(resampled.size());
        for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = Round24(resampled[i]);
        out.Append(pcm);
    };
    for (int64_t at = 0, whole = wav.DataSize / frameBytes * frameBytes; at < whole;) {
        const auto n = static_cast<size_t>(std::min<int64_t>(whole - at, static_cast<int64_t>(bytes.size())));
        in.ReadExactAt(wav.DataStart + at, std::span(bytes).first(n));
        samples.resize(n / kBytesPer24);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<float>(LoadLE24(bytes.data() + kBytesPer24 * i) / kPcm24FullScale);
        append(resampler.Process(samples));
        at += static_cast<int64_t>(n);
    }
    append(resampler.Flush());
    return out.Finish();
}

}  // namespace varnook
