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

constexpr int16_t kBitsPerSample = 16;
constexpr int32_t kBytesPerSample = 2;
// The RIFF size counts the file after its first chunk header, so the data may take no more than
// this for it to fit a signed 32-bit field, as the header check reads it.
constexpr int64_t kMaxDataBytes = kMaxWavFileLength - (kPlainHeaderBytes - kChunkHeaderBytes);

void PutId(uint8_t* at, std::string_view id)
{
    std::memcpy(at, id.data(), id.size());
}

std::array<uint8_t, kPlainHeaderBytes> Header(int channels, int32_t rate, int32_t dataBytes)
{
    const auto blockAlign = static_cast<int16_t>(channels * kBytesPerSample);
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
    StoreLE16(fmt + kBitsPerSampleAt, kBitsPerSample);
    PutId(h.data() + kPlainDataChunkAt, kDataId);
    StoreLE32(h.data() + kPlainDataChunkAt + kChunkSizeAt, dataBytes);
    return h;
}

}  // namespace

WorkWavWriter::WorkWavWriter(const std::string& path, int channels, int32_t rate)
    : file_(CreateWorkFile(path)), channels_(channels), rate_(rate)
{
}

void WorkWavWriter::Append(std::span<const int16_t> samples)
{
    const auto size = static_cast<int64_t>(samples.size()) * kBytesPerSample;
    if (size > kMaxDataBytes - dataBytes_)
        throw ProgramError(program_errors::kOverflow, "The converted file is too long for a WAV");
    bytes_.resize(static_cast<size_t>(size));
    for (size_t i = 0; i < samples.size(); ++i) StoreLE16(bytes_.data() + kBytesPerSample * i, samples[i]);
    file_.WriteAt(kPlainHeaderBytes + dataBytes_, bytes_);
    dataBytes_ += size;
}

void WorkWavWriter::Finish()
{
    file_.WriteAt(0, Header(channels_, rate_, static_cast<int32_t>(dataBytes_)));
    file_.Close();
}

}  // namespace varnook
