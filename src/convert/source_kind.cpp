#include "convert/convert.h"

#include "formats/formats.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

constexpr int16_t kPlainBits = 16;
// Streaming recorders leave the data size at its largest value, meaning "up to the end".
constexpr uint32_t kOpenEndedSize = 0xFFFFFFFF;
// A header with more chunks than this before its samples is left to the header check.
constexpr int kMaxChunks = 4096;

// True when the header is one that today's check takes; false for the layouts it refuses but
// libsndfile reads, and for rates the conversion brings down to one the filters know. Anything in doubt is left to the header check, which says what is wrong.
bool HasPlainHeader(const std::string& path)
{
    const File file(path, File::Mode::Read);
    if (FileIdAt(file, kRiffIdAt, "RF64")) return false;
    if (!FileIdAt(file, kRiffIdAt, kRiffId) || !FileIdAt(file, kWaveIdAt, kWaveId)) return true;
    if (!FileIdAt(file, kFmtIdAt, kFmtId)) return false;
    const auto fmt = ReadField<kPcmFmtBytes>(file, kFmtBodyAt);
    if (LoadLE16(fmt.data() + kFormatTagAt) != kPcmFormatTag || LoadLE16(fmt.data() + kBitsPerSampleAt) != kPlainBits)
        return false;
    // A rate above those the loudness filters know is resampled, as for a WAV of any other
    // width: taken as it is, the analysis and the trim would find no filter for it.
    const int32_t rate = LoadLE32(fmt.data() + kSampleRateAt);
    if (ConvertedRate(rate) != rate) return false;

    const int64_t length = file.Size();
    int64_t scan = kFmtBodyAt + LoadLE32(ReadField<kChunkSizeBytes>(file, kFmtSizeAt).data());
    for (int chunk = 0; chunk < kMaxChunks && scan >= 0 && length - scan >= kChunkHeaderBytes; ++chunk) {
        const auto header = ReadField<kChunkHeaderBytes>(file, scan);
        const auto size = static_cast<uint32_t>(LoadLE32(header.data() + kChunkSizeAt));
        if (IdAt(header, 0, kDataId)) return size != kOpenEndedSize;
        scan += kChunkHeaderBytes + size;
    }
    return true;
}

}  // namespace

SourceKind ClassifySource(const std::string& path, const std::string& ext)
{
    const Format* format = FindFormat(ext);
    if (format == nullptr || !format->Reads()) return SourceKind::Unknown;
    switch (format->Kind) {
    case FormatKind::Mp3: return SourceKind::Mp3;
    case FormatKind::Converted: return SourceKind::Convert;
    case FormatKind::Wav: break;
    }
    try {
        if (HasPlainHeader(path)) return SourceKind::PlainWav;
    } catch (const FileError&) {
        return SourceKind::PlainWav;  // the header check reports it
    }
    // What libsndfile cannot read either goes to the header check, which says what is wrong.
    const ConvertResult probe = ProbeSource(path);
    return probe.Ok || !probe.Reason.empty() ? SourceKind::Convert : SourceKind::PlainWav;
}

}  // namespace varnook
