// Ogg Vorbis through libvorbisenc at a variable bitrate, the pages made with libogg.
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include "encoder/codec_writer.h"

namespace varnook {
namespace {

// The Ogg stream's serial number: fixed, so the same work file gives the same bytes.
constexpr int kSerialNumber = 0x56524B56;
// oggenc's quality scale runs from -1 to 10, libvorbisenc's from -0.1 to 1.
constexpr double kQualityScale = 10;
constexpr int kDecodeFrames = 4096;

// libvorbis's and libogg's state, cleared as far as it was set up, whatever ends the encode.
struct VorbisState {
    VorbisState() { vorbis_info_init(&info); }
    ~VorbisState()
    {
        if (started) {
            ogg_stream_clear(&stream);
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
            vorbis_comment_clear(&comment);
        }
        vorbis_info_clear(&info);
    }
    VorbisState(const VorbisState&) = delete;
    VorbisState& operator=(const VorbisState&) = delete;

    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    ogg_stream_state stream{};
    bool started = false;
};

class VorbisWriter final : public CodecWriter {
public:
    VorbisWriter(OutputSink& sink, const PcmLayout& layout, double quality, double gain)
        : sink_(sink), layout_(layout), scale_(static_cast<float>(gain) / static_cast<float>(1 << (layout.Bits - 1)))
    {
        if (const int error = vorbis_encode_init_vbr(&state_.info, layout.Channels, layout.Rate,
                                                     static_cast<float>(quality / kQualityScale));
            error != 0) {
            throw CodecRefusal("libvorbisenc refuses " + std::to_string(layout.Rate) + " Hz at quality " +
                               std::to_string(quality) + " (" + std::to_string(error) + ")");
        }
        vorbis_comment_init(&state_.comment);
        vorbis_analysis_init(&state_.dsp, &state_.info);
        vorbis_block_init(&state_.dsp, &state_.block);
        ogg_stream_init(&state_.stream, kSerialNumber);
        state_.started = true;

        ogg_packet header{};
        ogg_packet comments{};
        ogg_packet codebooks{};
        vorbis_analysis_headerout(&state_.dsp, &state_.comment, &header, &comments, &codebooks);
        ogg_stream_packetin(&state_.stream, &header);
        ogg_stream_packetin(&state_.stream, &comments);
        ogg_stream_packetin(&state_.stream, &codebooks);
        // The audio starts on a page of its own, as the Vorbis mapping of Ogg asks.
        FlushPages();
    }

    void Write(std::span<const int32_t> samples) override
    {
        const size_t channels = static_cast<size_t>(layout_.Channels);
        const size_t frames = samples.size() / channels;
        float** buffer = vorbis_analysis_buffer(&state_.dsp, static_cast<int>(frames));
        for (size_t c = 0; c < channels; ++c) {
            float* out = buffer[c];
            for (size_t i = 0; i < frames; ++i) out[i] = static_cast<float>(samples[i * channels + c]) * scale_;
        }
        vorbis_analysis_wrote(&state_.dsp, static_cast<int>(frames));
        Analyse();
    }

    void Finish() override
    {
        vorbis_analysis_wrote(&state_.dsp, 0);
        Analyse();
        FlushPages();
    }

    std::string DecodeFault(const std::string& path) const override
    {
        OggVorbis_File file;
        if (const int error = ov_fopen(path.c_str(), &file); error != 0)
            return "libvorbisfile cannot open it (" + std::to_string(error) + ")";
        int64_t frames = 0;
        std::string fault;
        for (;;) {
            float** pcm = nullptr;
            int section = 0;
            const long got = ov_read_float(&file, &pcm, kDecodeFrames, &section);
            if (got == 0) break;
            if (got < 0) {
                fault = "libvorbisfile cannot decode it (" + std::to_string(got) + ")";
                break;
            }
            frames += got;
        }
        const int64_t total = ov_pcm_total(&file, -1);
        ov_clear(&file);
        if (!fault.empty()) return fault;
        if (frames != layout_.Frames || total != layout_.Frames)
            return std::to_string(frames) + " of " + std::to_string(layout_.Frames) + " frames";
        return {};
    }

private:
    // Hands every block the analysis has ready to the encoder and every full page to the sink.
    void Analyse()
    {
        while (vorbis_analysis_blockout(&state_.dsp, &state_.block) == 1) {
            vorbis_analysis(&state_.block, nullptr);
            vorbis_bitrate_addblock(&state_.block);
            ogg_packet packet{};
            while (vorbis_bitrate_flushpacket(&state_.dsp, &packet) == 1) {
                ogg_stream_packetin(&state_.stream, &packet);
                ogg_page page{};
                while (ogg_stream_pageout(&state_.stream, &page) != 0) WritePage(page);
            }
        }
    }

    void FlushPages()
    {
        ogg_page page{};
        while (ogg_stream_flush(&state_.stream, &page) != 0) WritePage(page);
    }

    void WritePage(const ogg_page& page)
    {
        if (!sink_.Write(page.header, static_cast<size_t>(page.header_len)) ||
            !sink_.Write(page.body, static_cast<size_t>(page.body_len)))
            sink_.RethrowFailure();
    }

    OutputSink& sink_;
    PcmLayout layout_;
    float scale_;
    VorbisState state_;
};

}  // namespace

std::unique_ptr<CodecWriter> MakeVorbisWriter(OutputSink& sink, const PcmLayout& layout, double quality,
                                              double gain)
{
    return std::make_unique<VorbisWriter>(sink, layout, quality, gain);
}

}  // namespace varnook
