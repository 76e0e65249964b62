#include "wav/wav_time.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/host.h"
#include "io/guarded.h"
#include "base/wav_info.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "wav/wav_layout.h"

namespace varnook {

namespace {

// The file is opened for writing only when a repair is needed, so a file that may only be read
// is still examined, and only a repair it needs fails (as a file error).
void WriteSizeField(const std::string& path, int64_t offset, int32_t value)
{
    File file(path, File::Mode::ReadWrite);
    std::array<uint8_t, kChunkSizeBytes> bytes{};
    StoreLE32(bytes.data(), value);
    file.WriteAt(offset, bytes);
    file.Close();
}

double Fail(Host& host, const std::string& line)
{
    host.LogLine(line);
    return -1;
}

// Where the repairs go: the file itself, or the copy made at the first repair when the file may
// not be written and a copy is offered.
class RepairTarget {
public:
    RepairTarget(const std::string& path, const std::function<std::string()>& copy) : path_(path), copy_(copy) {}

    const std::string& Path()
    {
        if (copy_ && ::access(path_.c_str(), W_OK) != 0) path_ = copy_();
        copy_ = nullptr;
        return path_;
    }

private:
    std::string path_;
    std::function<std::string()> copy_;
};

double CheckHeader(Host& host, WavInfo& wav, const std::string& path, RepairTarget& target)
{
    File file(path, File::Mode::Read);
    const int64_t length = file.Size();

    if (!FileIdAt(file, kRiffIdAt, kRiffId)) return Fail(host, "No RIFF header");
    if (length > kMaxWavFileLength) return Fail(host, "File too large");

    wav.RiffSize = LoadLE32(ReadField<kChunkSizeBytes>(file, kRiffSizeAt).data());
    const bool riffSizeBad = length - wav.RiffSize != kChunkHeaderBytes;
    if (riffSizeBad) host.LogLine("Bad file size info: " + std::to_string(wav.RiffSize));

    if (!FileIdAt(file, kWaveIdAt, kWaveId)) return Fail(host, "No WAVE header");
    if (!FileIdAt(file, kFmtIdAt, kFmtId)) return Fail(host, "No fmt  header");
    wav.FmtSize = LoadLE32(ReadField<kChunkSizeBytes>(file, kFmtSizeAt).data());
    // A file that ends inside the 16 format bytes has no format to read either.
    if (wav.FmtSize < kPcmFmtBytes || length < kFmtBodyAt + kPcmFmtBytes) return Fail(host, "Bad fmt  header");

    const auto fmt = ReadField<kPcmFmtBytes>(file, kFmtBodyAt);
    wav.FormatTag = LoadLE16(fmt.data() + kFormatTagAt);
    wav.Channels = LoadLE16(fmt.data() + kChannelsAt);
    wav.SampleRate = LoadLE32(fmt.data() + kSampleRateAt);
    wav.ByteRate = LoadLE32(fmt.data() + kByteRateAt);
    wav.BlockAlign = LoadLE16(fmt.data() + kBlockAlignAt);
    wav.BitsPerSample = LoadLE16(fmt.data() + kBitsPerSampleAt);
    if (wav.Channels != 1 && wav.Channels != 2)
        return Fail(host, std::to_string(wav.Channels) + " rather than 1 or 2 channels");
    // Both divide: the data size is cut to whole frames of BlockAlign bytes, the frame count is
    // DataSize / BlockAlign and the duration DataSize / ByteRate. Refused before anything is
    // repaired, since such a file is never used.
    if (wav.BlockAlign == 0) return Fail(host, "Bad block align: 0");
    if (wav.ByteRate == 0) return Fail(host, "Bad byte rate: 0");

    if (riffSizeBad) {
        wav.RiffSize = static_cast<int32_t>(length - kChunkHeaderBytes);
        WriteSizeField(target.Path(), kRiffSizeAt, wav.RiffSize);
        host.LogLine("File size info corrected to: " + std::to_string(wav.RiffSize));
    }

    // Chunks follow each other at 8 + size bytes, without pad bytes, up to the "data" chunk.
    // The scan position grows by at least 8 each time, so the walk always ends.
    int64_t scan = kFmtBodyAt + wav.FmtSize;
    for (;;) {
        if (scan > length) return Fail(host, "Bad chunk size");
        if (length - scan < kChunkHeaderBytes) return Fail(host, "No data chunk");
        const auto header = ReadField<kChunkHeaderBytes>(file, scan);
        wav.DataSize = LoadLE32(header.data() + kChunkSizeAt);
        if (IdAt(header, 0, kDataId)) break;
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
        WriteSizeField(target.Path(), ChunkSizeFieldAt(wav.DataStart), wav.DataSize);
        host.LogLine("Data size corrected");
    }
    file.Close();
    return static_cast<double>(wav.DataSize) / wav.ByteRate;
}

}  // namespace

double WavTime(Host& host, WavInfo& wav, const std::string& path, const std::function<std::string()>& copyForRepair)
{
    double duration = -1;
    RepairTarget target(path, copyForRepair);
    Guarded(host, "WavTime", [&] { duration = CheckHeader(host, wav, path, target); });
    return duration;
}

}  // namespace varnook
