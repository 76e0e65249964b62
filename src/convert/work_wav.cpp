#include "convert/work_wav.h"

#include <array>
#include <cstring>
#include <string_view>

#include "io/byte_order.h"
#include "io/errors.h"
#include "io/work_file.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

constexpr int kBitsPerByte = 8;
// The RIFF size counts the file after its first chunk header, so the data may take no more than
// this for it to fit a signed 32-bit field, as the header check reads it.
constexpr int64_t kMaxDataBytes = kMaxWavFileLength - (kPlainHeaderBytes - kChunkHeaderBytes);

void PutId(uint8_t* at, std::string_view id)
{
    std::memcpy(at, id.data(), id.size());
}

std::array<uint8_t, kPlainHeaderBytes> Header(int channels, int32_t rate, int bytesPerSample, int32_t dataBytes)
{
    const auto blockAlign = static_cast<int16_t>(channels * bytesPerSample);
    std::array<uint8_t, kPlainHeaderBytes> h{};
    uint8_t* const fmt = h.data() + kFmtBodyAt;
    PutId(h.data() + kRiffIdAt, kRiffId);
    StoreLE32(h.data() + kRiffSizeAt, static_cast<int32_t>(kPlainHeaderBytes - kChunkHeaderBytes + dataBytes));
    PutId(h.data() + kWaveIdAt, kWaveId);
    PutId(h.data() + kFmtIdAt, kFmtId);
    StoreLE32(h.data() + kFmtSizeAt, kPcmFmtBytes);
    StoreLE16(fmt + kFormatTagAt, kPcmFormatTag);
    StoreLE16(fmt + kChannelsAt, static_cast<int16_t>(channels));
    StoreLE32(fmt + kSampleRateAt, rate);
    StoreLE32(fmt + kByteRateAt, rate * blockAlign);
    StoreLE16(fmt + kBlockAlignAt, blockAlign);
    StoreLE16(fmt + kBitsPerSampleAt, static_cast<int16_t>(bytesPerSample * kBitsPerByte));
    PutId(h.data() + kPlainDataChunkAt, kDataId);
    StoreLE32(h.data() + kPlainDataChunkAt + kChunkSizeAt, dataBytes);
    return h;
}

}  // namespace

WorkWavWriter::WorkWavWriter(const std::string& path, int channels, int32_t rate, int bits)
    : file_(CreateWorkFile(path)), channels_(channels), rate_(rate), bytesPerSample_(bits / kBitsPerByte)
{
}

template <typename Sample, typename Store>
void WorkWavWriter::Put(std::span<const Sample> samples, int width, Store store)
{
    if (width != bytesPerSample_)
        throw ProgramError(program_errors::kInvalidArgument, "Samples of another width than the work file's");
    const auto size = static_cast<int64_t>(samples.size()) * width;
    if (size > kMaxDataBytes - dataBytes_)
        throw ProgramError(program_errors::kOverflow, "The converted file is too long for a WAV");
    bytes_.resize(static_cast<size_t>(size));
    for (size_t i = 0; i < samples.size(); ++i) store(bytes_.data() + static_cast<size_t>(width) * i, samples[i]);
    file_.WriteAt(kPlainHeaderBytes + dataBytes_, bytes_);
    dataBytes_ += size;
}

void WorkWavWriter::Append(std::span<const int16_t> samples)
{
    Put(samples, 2, StoreLE16);
}

void WorkWavWriter::Append(std::span<const int32_t> samples)
{
    Put(samples, 3, StoreLE24);
}

WavInfo WorkWavWriter::Finish()
{
    file_.WriteAt(0, Header(channels_, rate_, bytesPerSample_, static_cast<int32_t>(dataBytes_)));
    file_.Close();
    WavInfo wav;
    wav.FormatTag = kPcmFormatTag;
    wav.Channels = static_cast<int16_t>(channels_);
    wav.SampleRate = rate_;
    wav.BlockAlign = static_cast<int16_t>(channels_ * bytesPerSample_);
    wav.ByteRate = rate_ * wav.BlockAlign;
    wav.BitsPerSample = static_cast<int16_t>(bytesPerSample_ * kBitsPerByte);
    wav.RiffSize = static_cast<int32_t>(kPlainHeaderBytes - kChunkHeaderBytes + dataBytes_);
    wav.FmtSize = kPcmFmtBytes;
    wav.DataStart = kPlainHeaderBytes;
    wav.DataSize = static_cast<int32_t>(dataBytes_);
    return wav;
}

}  // namespace varnook
