#include "convert/work_wav.h"

#include <array>
#include <cstring>
#include <limits>

#include "io/byte_order.h"
#include "io/errors.h"
#include "io/work_file.h"

namespace varnook {
namespace {

constexpr int64_t kHeaderBytes = 44;
constexpr int32_t kFmtBytes = 16;
constexpr int16_t kPcmFormatTag = 1;
constexpr int16_t kBitsPerSample = 16;
constexpr int32_t kBytesPerSample = 2;
// The RIFF size counts the file after its first 8 bytes, so the data may take no more than
// this for it to fit a signed 32-bit field, as the header check reads it.
constexpr int64_t kMaxDataBytes = std::numeric_limits<int32_t>::max() - (kHeaderBytes - 8);

std::array<uint8_t, kHeaderBytes> Header(int channels, int32_t rate, int32_t dataBytes)
{
    const auto blockAlign = static_cast<int16_t>(channels * kBytesPerSample);
    std::array<uint8_t, kHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    StoreLE32(h.data() + 4, static_cast<int32_t>(kHeaderBytes - 8 + dataBytes));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    StoreLE32(h.data() + 16, kFmtBytes);
    StoreLE16(h.data() + 20, kPcmFormatTag);
    StoreLE16(h.data() + 22, static_cast<int16_t>(channels));
    StoreLE32(h.data() + 24, rate);
    StoreLE32(h.data() + 28, rate * blockAlign);
    StoreLE16(h.data() + 32, blockAlign);
    StoreLE16(h.data() + 34, kBitsPerSample);
    std::memcpy(h.data() + 36, "data", 4);
    StoreLE32(h.data() + 40, dataBytes);
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
    file_.WriteAt(kHeaderBytes + dataBytes_, bytes_);
    dataBytes_ += size;
}

void WorkWavWriter::Finish()
{
    file_.WriteAt(0, Header(channels_, rate_, static_cast<int32_t>(dataBytes_)));
    file_.Close();
}

}  // namespace varnook
