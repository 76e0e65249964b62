// The library encoders as the pipeline runs them: a work WAV of 16 or 24 bits encoded, and the
// output decoded by ffmpeg to the expected length, rate and depth (a FLAC to the very samples,
// each channel of a lossy one to its level); a full disk, during the encode or while the tags go
// in, and a stop each end the encode with nothing delivered, the old output kept and no work file.
#include "encoder/library_encoder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <numbers>
#include <set>

#include "base/stop_request.h"
#include "base/wav_info.h"
#include "encoder/encoder.h"
#include "formats/formats.h"
#include "id3/carry_over.h"
#include "id3/output_tags.h"
#include "io/byte_order.h"
#include "support/captured_run.h"
#include "support/param_name.h"
#include "support/recording_host.h"
#include "support/tag_sets.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "wav/wav_time.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

// A second and 147 * 7 frames: not a whole number of blocks, and 44.1 kHz goes to 48 kHz in
// whole frames (147 frames become 160).
constexpr int32_t kExtraFrames = 1029;
// A tone per channel, so a swapped or mis-scaled channel shows in its level.
constexpr std::array<double, 2> kToneHz{440, 1000};
constexpr std::array<double, 2> kToneLevel{0.5, 0.25};
// libopus's look-ahead at 48 kHz (the pre-skip of the stream), and libvorbis's short block at
// the rates below.
constexpr int64_t kOpusLookAhead = 312;
constexpr int64_t kVorbisShortBlock = 256;

struct EncodeRow {
    const char* name;
    OutputFormat format;
    int16_t bits;
    int32_t rate;
    int16_t channels;
    const char* codec;
    int32_t outRate;
};
void PrintTo(const EncodeRow& row, std::ostream* os) { *os << row.name; }

// The tones at the row's depth, with the lowest bits in use: a 24-bit file cut to 16 bits differs.
std::vector<int32_t> WorkSamples(const EncodeRow& row)
{
    const double fullScale = std::ldexp(1.0, row.bits - 1);
    std::vector<int32_t> samples;
    for (int32_t i = 0; i < row.rate + kExtraFrames; ++i)
        for (int c = 0; c < row.channels; ++c) {
            const double v = kToneLevel[c] * std::sin(2 * std::numbers::pi * kToneHz[c] * i / row.rate);
            samples.push_back(static_cast<int32_t>(std::lround(v * fullScale)) + (i % 3) - 1);
        }
    return samples;
}

std::set<std::string> Listing(const TempDir& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) names.insert(entry.path().filename().string());
    return names;
}

// A work WAV of `wavBytes` and an old output beside it, encoded as the pipeline does.
class EncodeTest {
protected:
    void Prepare(OutputFormat outputFormat, const std::vector<uint8_t>& wavBytes)
    {
        format = outputFormat;
        out = dir.File("out" + std::string(OutputExtension(format)));
        WriteAllBytes(work, wavBytes);
        EXPECT_GT(WavTime(host, wav, work), 0);
        WriteText(out, "the old output");
    }

    StepEnd Encode(Host& reportTo, const TagCarry* carry = nullptr)
    {
        return EncodedByLibrary(format, CodecSettings{}, work, wav, out, 0, reportTo, stop, carry);
    }

    OutputFormat format{};
    TempDir dir;
    std::string work = dir.File("work.wav"), out;
    RecordingHost host;
    WavInfo wav;
    StopRequest stop;
};

class LibraryEncoder : public EncodeTest, public testing::TestWithParam<EncodeRow> {
protected:
    LibraryEncoder() { Prepare(row.format, BuildWav({row.channels, row.rate, row.bits, 1, 16, {}, {}}, samples)); }

    // The output as ffmpeg decodes it: interleaved, full scale at 2^31.
    std::vector<int32_t> Decoded() const
    {
        const CapturedRun run = RunCaptured("ffmpeg", {"-v", "error", "-i", out, "-f", "s32le", "-"});
        EXPECT_EQ(run.exitCode, 0);
        std::vector<int32_t> decoded(run.out.size() / 4);
        for (size_t i = 0; i < decoded.size(); ++i) decoded[i] = LoadLE32(reinterpret_cast<const uint8_t*>(&run.out[4 * i]));
        return decoded;
    }

    const EncodeRow& row = GetParam();
    const std::vector<int32_t> samples = WorkSamples(row);
};

TEST_P(LibraryEncoder, DecodesToTheWorkFilesLengthRateAndDepth)
{
    ASSERT_EQ(Encode(host), StepEnd::Finished);
    EXPECT_EQ(Listing(dir), (std::set<std::string>{"work.wav", fs::path(out).filename().string()}));
    // With the length the stream itself declares, in its last granule position or STREAMINFO; an
    // Opus stream counts its encoder's look-ahead too, which decoders skip.
    const CapturedRun probe = RunCaptured("ffprobe", {"-v", "error", "-show_entries",
        "stream=codec_name,sample_rate,channels,duration_ts,bits_per_raw_sample", "-of", "csv=p=0", out});
    const bool lossless = row.format == OutputFormat::Flac;
    const int64_t frames = int64_t{row.rate + kExtraFrames} * row.outRate / row.rate;
    const int64_t declared = frames + (row.format == OutputFormat::Opus ? kOpusLookAhead : 0);
    EXPECT_EQ(probe.out, std::string(row.codec) + "," + std::to_string(row.outRate) + "," + std::to_string(row.channels) + "," +
                             std::to_string(declared) + "," + (lossless ? std::to_string(row.bits) : "N/A") + "\n");
    const std::vector<int32_t> decoded = Decoded();
    // ffmpeg's decoder drops the first half short block of a Vorbis stream that libvorbisfile, the
    // reference, keeps, in oggenc's files too.
    const int64_t dropped = row.format == OutputFormat::Vorbis ? kVorbisShortBlock / 2 : 0;
    const auto count = static_cast<int64_t>(decoded.size());
    ASSERT_TRUE(count <= frames * row.channels && count >= (frames - dropped) * row.channels) << count;
    if (lossless) {
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(decoded[i] >> (32 - row.bits), samples[i]) << "sample " << i;
        return;
    }
    // A lossy codec keeps each tone's level to a few hundredths of a decibel; a channel swapped,
    // dropped or scaled for the wrong depth is off by decibels.
    for (int c = 0; c < row.channels; ++c) {
        double energy = 0;
        for (size_t i = static_cast<size_t>(c); i < decoded.size(); i += static_cast<size_t>(row.channels))
            energy += std::pow(std::ldexp(decoded[i], -31), 2);
        EXPECT_NEAR(std::sqrt(2 * energy / static_cast<double>(frames)), kToneLevel[c], 0.01) << "channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, LibraryEncoder, testing::Values(
    EncodeRow{"Flac16", OutputFormat::Flac, 16, 44100, 2, "flac", 44100},
    EncodeRow{"Flac24At96k", OutputFormat::Flac, 24, 96000, 2, "flac", 96000},
    EncodeRow{"Opus16Resampled", OutputFormat::Opus, 16, 44100, 2, "opus", 48000},
    EncodeRow{"Opus24Mono", OutputFormat::Opus, 24, 48000, 1, "opus", 48000},
    EncodeRow{"Vorbis16", OutputFormat::Vorbis, 16, 44100, 2, "vorbis", 44100},
    EncodeRow{"Vorbis24Mono", OutputFormat::Vorbis, 24, 48000, 1, "vorbis", 48000}),
    RowName());

// An MP3 source whose tag is only a 400 kB picture (an ID3v2.3 APIC frame): its tags make an
// Ogg output grow by that much as TagLib writes them.
std::string SourceWithPicture(const TempDir& dir)
{
    const std::string body = std::string("\0image/png\0\x03\0", 14) + std::string(400000, '\x5A');
    WriteText(dir.File("source.mp3"), Id3Tag(3, Id3Frame(3, "APIC", body)) + std::string(1000, '\xAA'));
    return dir.File("source.mp3");
}

// Damaged: what is left when the tags' writer reports success over a file it cut short (the
// file truncated to half) or spoilt (one byte flipped: at three quarters, in the audio, or in
// the MD5 of a FLAC's STREAMINFO, after "fLaC", the block header and 18 bytes of the block).
enum class Trouble { DiskFull, DiskFullDuringTags, Stop, CutShort, ByteFlipped, Md5Flipped };
constexpr size_t kStreamInfoMd5At = 26;

// How the encoder ends after each trouble, and the start of what it logs ("": nothing).
struct TroubleRow {
    const char* name;
    OutputFormat format;
    Trouble trouble;
    StepEnd outcome;
    const char* firstLine;
};
void PrintTo(const TroubleRow& row, std::ostream* os) { *os << row.name; }

// A full disk is a file size limit while the encoder runs: past it a write fails as it does on a
// full disk (SIGXFSZ ignored, so the write returns EFBIG instead of killing the test).
StepEnd EncodeWithSizeLimit(rlim_t bytes, const std::function<StepEnd()>& encode)
{
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const rlimit limit{bytes, before.rlim_max};
    const auto handler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const StepEnd end = encode();
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, handler);
    return end;
}

// Three seconds, so a stop after the first block and a disk full at half the output come well
// before the end.
class NothingDelivered : public EncodeTest, public testing::TestWithParam<TroubleRow> {
protected:
    NothingDelivered() { Prepare(row.format, BuildWav({2, 48000, 16, 1, 16, {}, {}}, Sine(440, 8000, 48000, 3 * 48000, 2))); }
    const TroubleRow& row = GetParam();
};

TEST_P(NothingDelivered, OldOutputKeptAndNoWorkFileLeft)
{
    const CarriedFrames carried(SourceWithPicture(dir));
    const TagCarry tags{OutputTagRoom({}, carried),
                        [&](const std::string& temp) { return WriteOutputTags(temp, row.format, {}, carried); }};
    const TagCarry damage{0, [&](const std::string& temp) {
        std::vector<uint8_t> bytes = ReadAllBytes(temp);
        if (row.trouble == Trouble::CutShort) bytes.resize(bytes.size() / 2);
        else bytes[row.trouble == Trouble::Md5Flipped ? kStreamInfoMd5At : bytes.size() * 3 / 4] ^= 0x10;
        WriteAllBytes(temp, bytes);
        return true;
    }};

    // The untagged output's size: the tags' trouble comes after it, the encode's well before.
    ASSERT_EQ(Encode(host), StepEnd::Finished);
    const uintmax_t encoded = fs::file_size(out);
    WriteText(out, "the old output");
    const std::set<std::string> before{fs::path(out).filename().string(), "source.mp3", "work.wav"};

    StepEnd end{};
    switch (row.trouble) {
    case Trouble::DiskFull:
        end = EncodeWithSizeLimit(encoded / 2, [&] { return Encode(host); });
        break;
    case Trouble::DiskFullDuringTags:
        end = EncodeWithSizeLimit(encoded + 4096, [&] { return Encode(host, &tags); });
        break;
    case Trouble::Stop:  // asked for at the first yield, after the first block
        host.yields = 0;
        host.onYield = [&](int) { stop.Request(); };
        end = Encode(host);
        EXPECT_EQ(host.yields, 1) << "the stop is looked at before every block";
        break;
    default:
        end = Encode(host, &damage);
    }
    EXPECT_EQ(end, row.outcome);
    const std::string said = host.lines.empty() ? "(nothing)" : host.lines[0];
    EXPECT_TRUE(*row.firstLine == '\0' ? host.lines.empty() : said.starts_with(row.firstLine)) << said;
    EXPECT_TRUE(ReadText(out) == "the old output") << "delivered";
    EXPECT_EQ(Listing(dir), before);
}

// TagLib does not report a failed write: the tags' writer finds them short when it reads them
// back, and refuses (its caller says so). A FLAC output leaves room for its tags, so writing them
// never grows it: no row for it.
INSTANTIATE_TEST_SUITE_P(Troubles, NothingDelivered, testing::Values(
    TroubleRow{"FlacDiskFull", OutputFormat::Flac, Trouble::DiskFull, StepEnd::Failed, "Processing interrupted"},
    TroubleRow{"OpusDiskFull", OutputFormat::Opus, Trouble::DiskFull, StepEnd::Failed, "Processing interrupted"},
    TroubleRow{"VorbisDiskFull", OutputFormat::Vorbis, Trouble::DiskFull, StepEnd::Failed, "Processing interrupted"},
    TroubleRow{"OpusDiskFullDuringTags", OutputFormat::Opus, Trouble::DiskFullDuringTags, StepEnd::Failed, ""},
    TroubleRow{"VorbisDiskFullDuringTags", OutputFormat::Vorbis, Trouble::DiskFullDuringTags, StepEnd::Failed, ""},
    TroubleRow{"FlacCutShort", OutputFormat::Flac, Trouble::CutShort, StepEnd::Failed, "Incomplete output"},
    TroubleRow{"OpusCutShort", OutputFormat::Opus, Trouble::CutShort, StepEnd::Failed, "Incomplete output"},
    TroubleRow{"VorbisCutShort", OutputFormat::Vorbis, Trouble::CutShort, StepEnd::Failed, "Incomplete output"},
    TroubleRow{"FlacByteFlipped", OutputFormat::Flac, Trouble::ByteFlipped, StepEnd::Failed, "Incomplete output"},
    TroubleRow{"FlacMd5Flipped", OutputFormat::Flac, Trouble::Md5Flipped, StepEnd::Failed, "Incomplete output"},
    TroubleRow{"FlacStopped", OutputFormat::Flac, Trouble::Stop, StepEnd::Stopped, ""},
    TroubleRow{"OpusStopped", OutputFormat::Opus, Trouble::Stop, StepEnd::Stopped, ""},
    TroubleRow{"VorbisStopped", OutputFormat::Vorbis, Trouble::Stop, StepEnd::Stopped, ""}),
    RowName());

}  // namespace
}  // namespace varnook::test
