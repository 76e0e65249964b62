// Ogg Opus through libopusenc, always at 48 kHz: the rate Opus codes at inside, and the one its
// decoders give back. Another rate is resampled here with libsoxr (convert/'s resampler), which
// is better than libopusenc's own resampler. The gain is already in the samples, so the header
// gain stays 0.
#include <opus/opusenc.h>
#include <opus/opusfile.h>

#include <new>
#include <optional>
#include <vector>

#include "convert/resampler.h"
#include "encoder/codec_writer.h"

namespace varnook {
namespace {

constexpr int32_t kOpusRate = 48000;
constexpr int kBitsPerKilobit = 1000;
// The Ogg stream's serial number: libopusenc draws one at random, and the same work file must
// give the same bytes.
constexpr int kSerialNumber = 0x56524B4F;
// opusfile reads at most 120 ms of 48 kHz audio per call.
constexpr int kDecodeFrames = 5760;

std::string Refused(int error)
{
    return std::string("libopusenc: ") + ope_strerror(error);
}

int WriteBytes(void* sink, const unsigned char* bytes, opus_int32 size)
{
    return static_cast<OutputSink*>(sink)->Write(bytes, static_cast<size_t>(size)) ? 0 : 1;
}

int CloseSink(void*)
{
    return 0;
}

struct OpusDeleter {
    void operator()(OggOpusComments* comments) const { ope_comments_destroy(comments); }
    void operator()(OggOpusEnc* encoder) const { ope_encoder_destroy(encoder); }
    void operator()(OggOpusFile* file) const { op_free(file); }
};

class OpusWriter final : public CodecWriter {
public:
    OpusWriter(OutputSink& sink, const PcmLayout& layout, int kbps, double gain)
        : sink_(sink), layout_(layout), scale_(static_cast<float>(gain) / static_cast<float>(1 << (layout.Bits - 1))),
          comments_(ope_comments_create())
    {
        if (!comments_) throw std::bad_alloc();
        static const OpusEncCallbacks callbacks{WriteBytes, CloseSink};
        int error = OPE_OK;
        // Mapping family 0: mono or stereo, the layouts a work file has.
        encoder_.reset(ope_encoder_create_callbacks(&callbacks, &sink_, comments_.get(), kOpusRate,
                                                    layout.Channels, 0, &error));
        if (!encoder_) throw CodecRefusal(Refused(error));
        // Unconstrained VBR, as opusenc encodes: libopus would otherwise hold every packet near the
        // average and spend the bitrate on passages that do not need it.
        if ((error = ope_encoder_ctl(encoder_.get(), OPUS_SET_BITRATE(kbps * kBitsPerKilobit))) != OPE_OK ||
            (error = ope_encoder_ctl(encoder_.get(), OPUS_SET_VBR_CONSTRAINT(0))) != OPE_OK ||
            (error = ope_encoder_ctl(encoder_.get(), OPE_SET_SERIALNO(kSerialNumber))) != OPE_OK)
            throw CodecRefusal(Refused(error));
        if (layout.Rate != kOpusRate)
            resampler_.emplace(layout.Rate, kOpusRate, layout.Channels, Resampler::Quality::High);
    }

    void Write(std::span<const int32_t> samples) override
    {
        floats_.resize(samples.size());
        for (size_t i = 0; i < samples.size(); ++i) floats_[i] = static_cast<float>(samples[i]) * scale_;
        Encode(resampler_ ? resampler_->Process(floats_) : std::span<const float>(floats_));
    }

    void Finish() override
    {
        if (resampler_) Encode(resampler_->Flush());
        Check(ope_encoder_drain(encoder_.get()));
    }

    std::string DecodeFault(const std::string& path) const override
    {
        int error = 0;
        const std::unique_ptr<OggOpusFile, OpusDeleter> file(op_open_file(path.c_str(), &error));
        if (!file) return "opusfile cannot open it (" + std::to_string(error) + ")";
        std::vector<float> pcm(static_cast<size_t>(kDecodeFrames * layout_.Channels));
        int64_t frames = 0;
        for (int got; (got = op_read_float(file.get(), pcm.data(), static_cast<int>(pcm.size()), nullptr)) != 0;) {
            if (got < 0) return "opusfile cannot decode it (" + std::to_string(got) + ")";
            frames += got;
        }
        if (frames != given_ || op_pcm_total(file.get(), -1) != given_)
            return std::to_string(frames) + " of " + std::to_string(given_) + " frames";
        return {};
    }

private:
    void Encode(std::span<const float> samples)
    {
        const auto frames = static_cast<int>(samples.size() / static_cast<size_t>(layout_.Channels));
        if (frames == 0) return;
        Check(ope_encoder_write_float(encoder_.get(), samples.data(), frames));
        given_ += frames;
    }

    // libopusenc goes on after a write that failed, so the sink is asked after every call.
    void Check(int error)
    {
        sink_.RethrowFailure();
        if (error != OPE_OK) throw CodecRefusal(Refused(error));
    }

    OutputSink& sink_;
    PcmLayout layout_;
    float scale_;
    std::unique_ptr<OggOpusComments, OpusDeleter> comments_;
    std::unique_ptr<OggOpusEnc, OpusDeleter> encoder_;
    std::optional<Resampler> resampler_;
    std::vector<float> floats_;
    int64_t given_ = 0;  // frames at 48 kHz handed to libopusenc
};

}  // namespace

std::unique_ptr<CodecWriter> MakeOpusWriter(OutputSink& sink, const PcmLayout& layout, int kbps, double gain)
{
    return std::make_unique<OpusWriter>(sink, layout, kbps, gain);
}

}  // namespace varnook
