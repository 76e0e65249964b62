// FLAC through libFLAC: a lossless copy of the work samples at their own depth.
#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <array>
#include <new>

#include "encoder/codec_writer.h"

namespace varnook {
namespace {

// A seek point every ten seconds, as the flac tool writes them, so players seek at once.
constexpr int kSeekPointSeconds = 10;

std::string Refused(const char* what)
{
    return std::string("libFLAC: ") + what;
}

FLAC__StreamEncoderWriteStatus WriteBytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                          uint32_t, uint32_t, void* sink)
{
    return static_cast<OutputSink*>(sink)->Write(buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                                : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus SeekTo(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* sink)
{
    return static_cast<OutputSink*>(sink)->Seek(offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                        : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* sink)
{
    *offset = static_cast<OutputSink*>(sink)->Tell();
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

struct FlacDeleter {
    void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
    // Deleting an encoder that was not finished finishes it: after a stop or a failure that
    // writes into a work file that is about to go.
    void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};
using Metadata = std::unique_ptr<FLAC__StreamMetadata, FlacDeleter>;
using Encoder = std::unique_ptr<FLAC__StreamEncoder, FlacDeleter>;
using Decoder = std::unique_ptr<FLAC__StreamDecoder, FlacDeleter>;

Metadata NewBlock(FLAC__MetadataType type)
{
    Metadata block(FLAC__metadata_object_new(type));
    if (!block) throw std::bad_alloc();
    return block;
}

// What decoding the file back finds.
struct DecodeCount {
    int64_t frames = 0;
    int64_t streamInfoFrames = -1;
    bool md5Known = false;
    std::string error;
};

FLAC__StreamDecoderWriteStatus CountFrames(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                           const FLAC__int32* const[], void* count)
{
    static_cast<DecodeCount*>(count)->frames += frame->header.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void ReadStreamInfo(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* count)
{
    if (block->type != FLAC__METADATA_TYPE_STREAMINFO) return;
    auto* c = static_cast<DecodeCount*>(count);
    c->streamInfoFrames = static_cast<int64_t>(block->data.stream_info.total_samples);
    const auto& md5 = block->data.stream_info.md5sum;
    c->md5Known = std::any_of(std::begin(md5), std::end(md5), [](FLAC__byte b) { return b != 0; });
}

void NoteError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* count)
{
    auto* c = static_cast<DecodeCount*>(count);
    if (c->error.empty()) c->error = FLAC__StreamDecoderErrorStatusString[status];
}

class FlacWriter final : public CodecWriter {
public:
    FlacWriter(OutputSink& sink, const PcmLayout& layout, int level, size_t padding)
        : sink_(sink), layout_(layout), encoder_(FLAC__stream_encoder_new())
    {
        if (!encoder_) throw std::bad_alloc();
        FLAC__StreamEncoder* const encoder = encoder_.get();
        const auto frames = static_cast<FLAC__uint64>(layout.Frames);
        FLAC__stream_encoder_set_verify(encoder, true);
        FLAC__stream_encoder_set_compression_level(encoder, static_cast<uint32_t>(level));
        FLAC__stream_encoder_set_channels(encoder, static_cast<uint32_t>(layout.Channels));
        FLAC__stream_encoder_set_bits_per_sample(encoder, static_cast<uint32_t>(layout.Bits));
        FLAC__stream_encoder_set_sample_rate(encoder, static_cast<uint32_t>(layout.Rate));
        // Known from the start, so STREAMINFO is right even before libFLAC rewrites it.
        FLAC__stream_encoder_set_total_samples_estimate(encoder, frames);

        std::array<FLAC__StreamMetadata*, 2> blocks{};
        uint32_t count = 0;
        if (frames > 0) {
            seekTable_ = NewBlock(FLAC__METADATA_TYPE_SEEKTABLE);
            if (!FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                    seekTable_.get(), static_cast<uint32_t>(layout.Rate) * kSeekPointSeconds, frames) ||
                !FLAC__metadata_object_seektable_template_sort(seekTable_.get(), true))
                throw std::bad_alloc();
            blocks[count++] = seekTable_.get();
        }
        if (padding > 0) {
            padding_ = NewBlock(FLAC__METADATA_TYPE_PADDING);
            padding_->length = static_cast<uint32_t>(padding);
            blocks[count++] = padding_.get();
        }
        if (count > 0) FLAC__stream_encoder_set_metadata(encoder, blocks.data(), count);

        const FLAC__StreamEncoderInitStatus status =
            FLAC__stream_encoder_init_stream(encoder, WriteBytes, SeekTo, Tell, nullptr, &sink_);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            const std::string why = status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR
                                        ? FLAC__stream_encoder_get_resolved_state_string(encoder)
                                        : FLAC__StreamEncoderInitStatusString[status];
            throw CodecRefusal(Refused(why.c_str()));
        }
    }

    void Write(std::span<const int32_t> samples) override
    {
        const auto frames = static_cast<uint32_t>(samples.size() / static_cast<size_t>(layout_.Channels));
        if (!FLAC__stream_encoder_process_interleaved(encoder_.get(), samples.data(), frames)) Fail();
    }

    void Finish() override
    {
        if (!FLAC__stream_encoder_finish(encoder_.get())) Fail();
    }

    std::string DecodeFault(const std::string& path) const override
    {
        const Decoder owned(FLAC__stream_decoder_new());
        if (!owned) throw std::bad_alloc();
        FLAC__StreamDecoder* const decoder = owned.get();
        FLAC__stream_decoder_set_md5_checking(decoder, true);
        DecodeCount count;
        std::string fault;
        if (FLAC__stream_decoder_init_file(decoder, path.c_str(), CountFrames, ReadStreamInfo, NoteError, &count) !=
            FLAC__STREAM_DECODER_INIT_STATUS_OK) {
            fault = "cannot be opened";
        } else if (!FLAC__stream_decoder_process_until_end_of_stream(decoder)) {
            fault = FLAC__stream_decoder_get_resolved_state_string(decoder);
        }
        // Finishing compares the decoded samples with the MD5 of STREAMINFO.
        const bool md5Matches = FLAC__stream_decoder_finish(decoder);
        if (!fault.empty()) return fault;
        if (!count.error.empty()) return count.error;
        if (count.streamInfoFrames != layout_.Frames || count.frames != layout_.Frames)
            return std::to_string(count.frames) + " of " + std::to_string(layout_.Frames) + " frames";
        if (!count.md5Known || !md5Matches) return "the samples do not match the MD5 of STREAMINFO";
        return {};
    }

private:
    [[noreturn]] void Fail()
    {
        sink_.RethrowFailure();
        throw CodecRefusal(Refused(FLAC__stream_encoder_get_resolved_state_string(encoder_.get())));
    }

    OutputSink& sink_;
    PcmLayout layout_;
    Metadata seekTable_;
    Metadata padding_;
    // Last, so it goes first: it points at the blocks above until it is deleted.
    Encoder encoder_;
};

}  // namespace

std::unique_ptr<CodecWriter> MakeFlacWriter(OutputSink& sink, const PcmLayout& layout, int level, size_t padding)
{
    return std::make_unique<FlacWriter>(sink, layout, level, padding);
}

}  // namespace varnook
