#include "wav/wav_time.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "base/host.h"
#include "io/guarded.h"
#include "base/wav_info.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"

namespace varnook {

namespace {

constexpr int64_t kRiffIdAt = 0;
constexpr int64_t kRiffSizeAt = 4;
constexpr int64_t kWaveIdAt = 8;
constexpr int64_t kFmtIdAt = 12;
constexpr int64_t kFmtSizeAt = 16;
constexpr int64_t kFmtBodyAt = 20;
constexpr int32_t kMinFmtSize = 16;
constexpr int64_t kChunkHeaderBytes = 8;  // identifier and size; RiffSize counts what follows its own
// Every position and size in the record is a signed 32-bit number, so a longer file cannot be
// described by it (or repaired into it) without wrapping.
constexpr int64_t kMaxFileLength = std::numeric_limits<int32_t>::max();

using Id = std::array<uint8_t, 4>;

// Bytes the file does not have read as zero, so a header cut short fails the check that reads
// it instead of matching by accident.
template <size_t N>
std::array<uint8_t, N> ReadField(const File& file, int64_t offset)
{
    std::array<uint8_t, N> bytes{};
    file.ReadAt(offset, bytes);
    return bytes;
}

bool IsId(std::span<const uint8_t> bytes, std::string_view id)
{
    return bytes.size() >= id.size() && std::equal(id.begin(), id.end(), bytes.begin());
}

// The file is opened for writing only when a repair is needed, so a file that may only be read
// is still examined, and only a repair it needs fails (as a file error).
void WriteSizeField(const std::string& path, int64_t offset, int32_t value)
{
    File file(path, File::Mode::ReadWrite);
    std::array<uint8_t, 4> bytes{};
    StoreLE32(bytes.data(), value);
    file.WriteAt(offset, bytes);
    file.Close();
}

double Fail(Host& host, const std::string& line)
{
    host.LogLine(line);
    return -1;
}

double CheckHeader(Host& host, WavInfo& wav, const std::string& path)
{
    File file(path, File::Mode::Read);
    const int64_t length = file.Size();

    if (!IsId(ReadField<4>(file, kRiffIdAt), "RIFF")) return Fail(host, "No RIFF header");
    if (length > kMaxFileLength) return Fail(host, "File too large");

    wav.RiffSize = LoadLE32(ReadField<4>(file, kRiffSizeAt).data());
    const bool riffSizeBad = length - wav.RiffSize != kChunkHeaderBytes;
    if (riffSizeBad) host.LogLine("Bad file size info: " + std::to_string(wav.RiffSize));

    if (!IsId(ReadField<4>(file, kWaveIdAt), "WAVE")) return Fail(host, "No WAVE header");
    if (!IsId(ReadField<4>(file, kFmtIdAt), "fmt ")) return Fail(host, "No fmt  header");
    wav.FmtSize = LoadLE32(ReadField<4>(file, kFmtSizeAt).data());
    // A file that ends inside the 16 format bytes has no format to read either.
    if (wav.FmtSize < kMinFmtSize || length < kFmtBodyAt + kMinFmtSize) return Fail(host, "Bad fmt  header");

    const auto fmt = ReadField<kMinFmtSize>(file, kFmtBodyAt);
    wav.FormatTag = LoadLE16(fmt.data());
    wav.Channels = LoadLE16(fmt.data() + 2);
    wav.SampleRate = LoadLE32(fmt.data() + 4);
    wav.ByteRate = LoadLE32(fmt.data() + 8);
    wav.BlockAlign = LoadLE16(fmt.data() + 12);
    wav.BitsPerSample = LoadLE16(fmt.data() + 14);
    if (wav.Channels != 1 && wav.Channels != 2)
        return Fail(host, std::to_string(wav.Channels) + " rather than 1 or 2 channels");
    // Both divide: the data size is cut to whole frames of BlockAlign bytes, the frame count is
    // DataSize / BlockAlign and the duration DataSize / ByteRate. Refused before anything is
    // repaired, since such a file is never used.
    if (wav.BlockAlign == 0) return Fail(host, "Bad block align: 0");
    if (wav.ByteRate == 0) return Fail(host, "Bad byte rate: 0");

    if (riffSizeBad) {
        wav.RiffSize = static_cast<int32_t>(length - kChunkHeaderBytes);
        WriteSizeField(path, kRiffSizeAt, wav.RiffSize);
        host.LogLine("File size info corrected to: " + std::to_string(wav.RiffSize));
    }

    // Chunks follow each other at 8 + size bytes, without pad bytes, up to the "data" chunk.
    // The scan position grows by at least 8 each time, so the walk always ends.
    int64_t scan = kFmtBodyAt + wav.FmtSize;
    for (;;) {
        if (scan > length) return Fail(host, "Bad chunk size");
        if (length - scan < kChunkHeaderBytes) return Fail(host, "No data chunk");
        const auto header = ReadField<kChunkHeaderBytes>(file, scan);
        wav.DataSize = LoadLE32(header.data() + 4);
        if (IsId(header, "data")) break;
        if (wav.DataSize < 0) return Fail(host, "Bad chunk size");
        scan += kChunkHeaderBytes + wav.DataSize;
    }
    wav.DataStart = static_cast<int32_t>(scan + kChunkHeaderBytes);

    // Trailing chunks after the samples are allowed, so only a size that claims more than the
    // file holds is cut. A size with the top bit set reads as negative and is left as it is: its
    // negative duration makes the caller refuse the file.
    const int64_t room = length - wav.DataStart;
    if (wav.DataSize > room) {
        host.LogLine("Bad data size");
        wav.DataSize = static_cast<int32_t>(room / wav.BlockAlign * wav.BlockAlign);
        WriteSizeField(path, wav.DataStart - 4, wav.DataSize);
        host.LogLine("Data size corrected");
    }
    file.Close();
    return static_cast<double>(wav.DataSize) / wav.ByteRate;
}

}  // namespace

double WavTime(Host& host, WavInfo& wav, const std::string& path)
{
    double duration = -1;
    Guarded(host, "WavTime", [&] { duration = CheckHeader(host, wav, path); });
    return duration;
}

}  // namespace varnook
