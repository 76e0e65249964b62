#include "encoder/library_encoder.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "base/host.h"
#include "base/stop_request.h"
#include "base/wav_info.h"
#include "encoder/codec_writer.h"
#include "encoder/encoder.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file_moves.h"
#include "io/guarded.h"
#include "io/paths.h"
#include "io/work_file.h"
#include "io/work_files.h"

namespace varnook {
namespace {

// Frames read from the work file, encoded, and checked for a stop at a time.
constexpr int64_t kBlockFrames = 8192;
constexpr int kBitsPerByte = 8;

PcmLayout LayoutOf(const WavInfo& wav)
{
    const PcmLayout layout{wav.Channels, wav.SampleRate, wav.BitsPerSample,
                           wav.BlockAlign > 0 ? wav.DataSize / wav.BlockAlign : 0};
    if ((layout.Channels != 1 && layout.Channels != 2) || (layout.Bits != 16 && layout.Bits != 24) ||
        layout.Rate <= 0 || wav.BlockAlign != layout.Channels * layout.Bits / kBitsPerByte || wav.DataStart <= 0 ||
        layout.Frames < 0)
        throw ProgramError(program_errors::kInvalidArgument, "Only 16 or 24-bit mono or stereo PCM can be encoded");
    return layout;
}

std::unique_ptr<CodecWriter> MakeWriter(OutputFormat format, const CodecSettings& codec, OutputSink& sink,
                                        const PcmLayout& layout, size_t padding, double gain)
{
    // A lossless output is the work file's samples, which is what makes it lossless.
    if (format == OutputFormat::Flac && gain != 1)
        throw ProgramError(program_errors::kInvalidArgument, "A FLAC output takes no gain");
    switch (format) {
    case OutputFormat::Flac: return MakeFlacWriter(sink, layout, codec.FlacLevel, padding);
    case OutputFormat::Opus: return MakeOpusWriter(sink, layout, codec.OpusKbps, gain);
    case OutputFormat::Vorbis: return MakeVorbisWriter(sink, layout, codec.VorbisQuality, gain);
    case OutputFormat::Mp3:
    case OutputFormat::Wav: break;
    }
    throw ProgramError(program_errors::kInvalidArgument, "No library writes this format");
}

// The samples in `bytes`, each widened to 32 bits.
void Unpack(std::span<const uint8_t> bytes, int bits, std::vector<int32_t>& samples)
{
    const size_t width = static_cast<size_t>(bits / kBitsPerByte);
    samples.resize(bytes.size() / width);
    const uint8_t* at = bytes.data();
    if (bits == 16) {
        for (int32_t& sample : samples) sample = LoadLE16(at), at += width;
    } else {
        for (int32_t& sample : samples) sample = LoadLE24(at), at += width;
    }
}

// Encodes into the open work file; true when every sample went in, false at a stop.
bool EncodeSamples(CodecWriter& writer, const File& work, const WavInfo& wav, const PcmLayout& layout, Host& host,
                   const StopRequest& stop)
{
    std::vector<uint8_t> bytes;
    std::vector<int32_t> samples;
    for (int64_t done = 0; done < layout.Frames;) {
        if (stop.Requested()) return false;
        const int64_t frames = std::min(kBlockFrames, layout.Frames - done);
        bytes.resize(static_cast<size_t>(frames * wav.BlockAlign));
        work.ReadExactAt(wav.DataStart + done * wav.BlockAlign, bytes);
        Unpack(bytes, layout.Bits, samples);
        writer.Write(samples);
        done += frames;
        host.Yield();
    }
    if (stop.Requested()) return false;
    writer.Finish();
    return true;
}

}  // namespace

StepEnd EncodedByLibrary(OutputFormat format, const CodecSettings& codec, const std::string& workWav,
                               const WavInfo& wav, const std::string& outFile, int job, Host& host,
                               const StopRequest& stop, const TagCarry* carry, double gain)
{
    const PcmLayout layout = LayoutOf(wav);
    const std::string tempOut = FolderOf(outFile) + WorkFileName(WorkFile::Encode, job);
    bool made = false;
    StepEnd outcome = StepEnd::Failed;
    const auto encode = [&] {
        {
            const File source(workWav, File::Mode::Read);
            File temp = CreateWorkFile(tempOut);
            made = true;
            OutputSink sink(temp);
            std::unique_ptr<CodecWriter> writer;
            try {
                writer = MakeWriter(format, codec, sink, layout, carry != nullptr ? carry->Room : 0, gain);
                if (!EncodeSamples(*writer, source, wav, layout, host, stop)) {
                    outcome = StepEnd::Stopped;
                    return;
                }
            } catch (const CodecRefusal& refusal) {
                host.LogLine(refusal.what());
                return;
            }
            temp.Close();
            if (carry != nullptr && !carry->Write(tempOut)) return;
            if (const std::string fault = writer->DecodeFault(tempOut); !fault.empty()) {
                host.LogLine("Incomplete output (is the disk full?): " + fault);
                return;
            }
        }
        ReplaceByRename(tempOut, outFile);
        outcome = StepEnd::Finished;
    };
    try {
        if (!Guarded(host, "EncodedByLibrary", encode, kInterruptedIntro)) outcome = StepEnd::Failed;
    } catch (...) {
        if (made) ::unlink(tempOut.c_str());
        throw;
    }
    if (made && outcome != StepEnd::Finished) ::unlink(tempOut.c_str());
    return outcome;
}

}  // namespace varnook
