#include "convert/convert.h"

#include <memory>
#include <vector>

#include <sndfile.h>

#include "convert/resampler.h"
#include "convert/tpdf_dither.h"
#include "convert/work_wav.h"

namespace varnook {
namespace {

constexpr sf_count_t kBlockFrames = 8192;
constexpr int32_t kHighestKeptRate = 48000;
constexpr int32_t kCdRate = 44100;
constexpr int kMaxChannels = 2;

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFile = std::unique_ptr<SNDFILE, SndFileCloser>;

SndFile OpenSource(const std::string& path, SF_INFO& info)
{
    info = {};
    return SndFile(sf_open(path.c_str(), SFM_READ, &info));
}

ConvertResult Describe(const SndFile& file, const SF_INFO& info)
{
    ConvertResult result;
    if (!file) return result;
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

void CopyExactly(SNDFILE* source, int channels, WorkWavWriter& out, const std::function<void()>& yield)
{
    std::vector<int16_t> block(static_cast<size_t>(kBlockFrames * channels));
    for (;;) {
        const sf_count_t frames = sf_readf_short(source, block.data(), kBlockFrames);
        if (frames <= 0) break;
        out.Append(std::span(block.data(), static_cast<size_t>(frames * channels)));
        yield();
    }
}

void Quantize(std::span<const float> samples, TpdfDither& dither, std::vector<int16_t>& pcm, WorkWavWriter& out)
{
    pcm.resize(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) pcm[i] = dither.Quantize(samples[i]);
    out.Append(pcm);
}

void ConvertThroughFloat(SNDFILE* source, const SF_INFO& info, int32_t rate, WorkWavWriter& out,
                         const std::function<void()>& yield)
{
    const int channels = info.channels;
    std::vector<float> block(static_cast<size_t>(kBlockFrames * channels));
    std::vector<int16_t> pcm;
    TpdfDither dither;
    std::unique_ptr<Resampler> resampler;
    if (rate != info.samplerate) resampler = std::make_unique<Resampler>(info.samplerate, rate, channels);
    for (;;) {
        const sf_count_t frames = sf_readf_float(source, block.data(), kBlockFrames);
        if (frames <= 0) break;
        const std::span<const float> read(block.data(), static_cast<size_t>(frames * channels));
        Quantize(resampler ? resampler->Process(read) : read, dither, pcm, out);
        yield();
    }
    if (resampler) Quantize(resampler->Flush(), dither, pcm, out);
}

}  // namespace

int32_t ConvertedRate(int32_t rate)
{
    if (rate <= kHighestKeptRate) return rate;
    return rate % kCdRate == 0 ? kCdRate : kHighestKeptRate;
}

ConvertResult ProbeSource(const std::string& source)
{
    SF_INFO info;
    const SndFile file = OpenSource(source, info);
    return Describe(file, info);
}

ConvertResult ConvertToPcm16(const std::string& source, const std::string& work,
                             const std::function<void()>& yield)
{
    SF_INFO info;
    const SndFile file = OpenSource(source, info);
    ConvertResult result = Describe(file, info);
    if (!result.Ok) return result;

    WorkWavWriter out(work, result.Channels, result.Rate);
    if (KeepsSamplesExactly(info)) {
        CopyExactly(file.get(), info.channels, out, yield);
    } else {
        ConvertThroughFloat(file.get(), info, result.Rate, out, yield);
    }
    out.Finish();
    // A stream that breaks off midway reads as its end; the work file must not pass for the
    // whole song then.
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        result.Ok = false;
        result.Reason = sf_strerror(file.get());
    }
    return result;
}

}  // namespace varnook
