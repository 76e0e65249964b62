// Conversion of sources that sox and ffmpeg make from one generated 16-bit stereo sine: the work
// WAV has a plain header, the right rate and length, the sine's level, and the very samples
// where no dither is due.
#include "convert/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/captured_run.h"
#include "support/param_name.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {
namespace {

constexpr size_t kHeader = 44;  // sox's and our plain 16-bit header alike
constexpr int32_t kRate = 44100;

struct Source {
    const char* name;
    std::vector<std::string> make;  // program and arguments; "%" is the reference, "@" the source
    std::string file;
    int32_t rate;
    double levelTolerance;  // dB: quantisation of narrow words, lossy codecs
    bool exact = false;
    std::string refusal = {};
};
void PrintTo(const Source& row, std::ostream* os) { *os << row.name; }

double RmsDb(const std::vector<int16_t>& samples)
{
    double sum = 0;
    for (const int16_t s : samples) sum += static_cast<double>(s) * s;
    return 10 * std::log10(sum / static_cast<double>(samples.size()));
}

std::vector<int16_t> DataOf(const std::vector<uint8_t>& wav)
{
    return SamplesAt(wav, kHeader, (wav.size() - kHeader) / 2);
}

class Conversion : public testing::TestWithParam<Source> {
protected:
    void SetUp() override
    {
        WavLayout stereo;
        stereo.channels = 2;
        WriteAllBytes(dir.File("ref.wav"), BuildWav(stereo, Sine(1000, 16000, kRate, kRate, 2)));
    }
    TempDir dir;
};

TEST_P(Conversion, GivesAPlainPcm16WavOfTheSameSignal)
{
    const Source& row = GetParam();
    const std::string source = dir.File(row.file);
    std::vector<std::string> args(row.make.begin() + 1, row.make.end());
    for (std::string& arg : args) arg = arg == "%" ? dir.File("ref.wav") : arg == "@" ? source : arg;
    ASSERT_EQ(RunCaptured(row.make[0], args).exitCode, 0);

    const ConvertResult result = ConvertToPcm16(source, dir.File("work.wav"), [] {});
    EXPECT_EQ(result.Reason, row.refusal);
    if (!row.refusal.empty()) {
        EXPECT_FALSE(std::filesystem::exists(dir.File("work.wav")));
        return;
    }
    ASSERT_TRUE(result.Ok);
    EXPECT_EQ(result.Rate, row.rate);
    EXPECT_EQ(ClassifySource(dir.File("work.wav"), ".wav"), SourceKind::PlainWav);
    const auto work = ReadAllBytes(dir.File("work.wav"));
    const auto ref = DataOf(ReadAllBytes(dir.File("ref.wav")));
    if (row.exact) {
        EXPECT_EQ(DataOf(work), ref);
    }
    // Codecs pad or trim a few milliseconds; a wrong rate or a lost flush is far more.
    EXPECT_NEAR(static_cast<double>(DataOf(work).size()) / 2 / row.rate, 1.0, 0.03);
    EXPECT_NEAR(RmsDb(DataOf(work)), RmsDb(ref), row.levelTolerance);
    ConvertToPcm16(source, dir.File("again.wav"), [] {});
    EXPECT_EQ(ReadAllBytes(dir.File("again.wav")), work) << "the dither is not reproducible";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Conversion,
    testing::Values(
        Source{"Flac16", {"sox", "%", "@"}, "s.flac", kRate, 0, true},
        Source{"Aiff16", {"sox", "%", "@"}, "s.aiff", kRate, 0, true},
        Source{"Rf64", {"ffmpeg", "-v", "error", "-i", "%", "-rf64", "always", "@"}, "s.wav", kRate, 0, true},
        Source{"Wav8", {"sox", "%", "-b", "8", "@"}, "s.wav", kRate, 0.05},
        Source{"ExtensibleWav24At88k", {"sox", "%", "-b", "24", "-r", "88200", "@"}, "s.wav", 44100, 0.05},
        Source{"Flac24At96k", {"sox", "%", "-b", "24", "-r", "96000", "@"}, "s.flac", 48000, 0.05},
        Source{"Float32Wav", {"sox", "%", "-e", "floating-point", "-b", "32", "@"}, "s.wav", kRate, 0.01},
        Source{"Float64At192k", {"sox", "%", "-e", "floating-point", "-b", "64", "-r", "192000", "@"}, "s.wav", 48000, 0.05},
        Source{"Ogg", {"sox", "%", "@"}, "s.ogg", kRate, 0.3},
        Source{"Opus", {"ffmpeg", "-v", "error", "-i", "%", "-c:a", "libopus", "@"}, "s.opus", 48000, 0.3},
        Source{"SixChannels", {"sox", "%", "-c", "6", "@"}, "s.flac", 0, 0, false,
               "6 channels; only mono and stereo can be processed"}),
    RowName());

// Sound 16-bit WAVs that the header check refuses are rewritten sample for sample.
TEST_F(Conversion, RefusedButSound16BitHeadersKeepEverySample)
{
    const auto ref = ReadAllBytes(dir.File("ref.wav"));
    const std::vector<std::pair<const char*, std::function<std::vector<uint8_t>()>>> variants{
        {"JunkBeforeFmt", [&] {
             std::vector<uint8_t> b(ref);
             const std::vector<uint8_t> junk{'J', 'U', 'N', 'K', 4, 0, 0, 0, 0, 0, 0, 0};
             b.insert(b.begin() + 12, junk.begin(), junk.end());
             return b;
         }},
        {"OpenEndedDataSize", [&] {
             std::vector<uint8_t> b(ref);
             std::fill_n(b.begin() + 40, 4, 0xFF);
             return b;
         }}};
    for (const auto& [name, make] : variants) {
        WriteAllBytes(dir.File("s.wav"), make());
        EXPECT_EQ(ClassifySource(dir.File("s.wav"), ".wav"), SourceKind::Convert) << name;
        ASSERT_TRUE(ConvertToPcm16(dir.File("s.wav"), dir.File("work.wav"), [] {}).Ok) << name;
        EXPECT_EQ(ReadAllBytes(dir.File("work.wav")), ref) << name;
    }
    EXPECT_EQ(ClassifySource(dir.File("ref.wav"), ".wav"), SourceKind::PlainWav);
    EXPECT_EQ(ClassifySource(dir.File("ref.wav"), ".MP3"), SourceKind::Mp3);
    EXPECT_EQ(ClassifySource(dir.File("ref.wav"), ".txt"), SourceKind::Unknown);
}

TEST(ConvertedRate, HighRatesGoToTheirFamilysBase)
{
    const std::pair<int32_t, int32_t> rows[] = {{8000, 8000},     {44100, 44100},   {48000, 48000},
                                                {88200, 44100},   {96000, 48000},   {176400, 44100},
                                                {192000, 48000},  {50000, 48000}};
    for (const auto& [rate, expected] : rows) EXPECT_EQ(ConvertedRate(rate), expected) << rate;
}

}  // namespace
}  // namespace varnook::test
