// Sources beyond 16-bit WAV and MP3, and the loudness targets, end to end: sources made by sox
// and ffmpeg from the generated tone; loudness and true peak checked against ffmpeg's ebur128.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

const std::string kGain = "Recommended gain: ";

// The number after `prefix` on the last line that starts with it; NaN when there is none.
double LastNumber(const std::vector<std::string>& lines, const std::string& prefix)
{
    double value = NAN;
    for (const std::string& line : lines)
        if (line.starts_with(prefix)) value = std::strtod(line.c_str() + prefix.size(), nullptr);
    return value;
}

struct FormatCase {
    const char* name;
    std::vector<std::string> make;  // program and arguments; "%" is the tone WAV, "@" the source
    std::string source;
    int32_t rate;                   // of the work WAV
    double gainTolerance;           // dB from the tone WAV's gain; 0 where the samples are kept
};
void PrintTo(const FormatCase& row, std::ostream* os) { *os << row.name; }

class Formats : public BatchRun, public testing::WithParamInterface<FormatCase> {};

TEST_P(Formats, AreConvertedThenProcessedToMp3AndToWav)
{
    const FormatCase& row = GetParam();
    const std::string tone = config.File("tone.wav"), source = dir.File(row.source);
    WriteAllBytes(tone, ToneWav());
    std::vector<std::string> args(row.make.begin() + 1, row.make.end());
    for (std::string& arg : args) arg = arg == "%" ? tone : arg == "@" ? source : arg;
    ASSERT_EQ(RunCaptured(row.make[0], args).exitCode, 0);

    const std::string format = "16 bits, " + std::to_string(row.rate) + " samp/s, 2 chan";
    const CapturedRun mp3 = Run({source, "/ana1", "/lev1", "/tr1", "/enc1"});
    ExpectInOrder(mp3, {"Converting...", "Converted OK", format, "Trimmed OK", "Encoded OK"});
    const double toneGain = LastNumber(Run({tone, "/ana1", "/lev0", "/tr0", "/enc0"}).Lines(), kGain);
    EXPECT_NEAR(LastNumber(mp3.Lines(), kGain), toneGain, row.gainTolerance);
    ExpectLog(Run({source, "/ana0", "/lev1", "/tr0", "/enc0"}),
              {"Now processing:", source, "Converting...", "Converted OK", "Checking wav file...", kInfoLine,
               format, "Leveling with: <n> dB...", "Leveled OK", kTimeLine, "Checking wav file...", kInfoLine,
               kTimeLine, ""});
    // "_" only where the WAV output would have the source's own name.
    EXPECT_EQ(Listing(), (std::set<std::string>{row.source, "s.mp3", row.source.ends_with(".wav") ? "_s.wav" : "s.wav"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Formats,
    testing::Values(
        FormatCase{"Flac16", {"sox", "%", "@"}, "s.flac", 44100, 0},
        FormatCase{"Flac24", {"sox", "%", "-b", "24", "@"}, "s.flac", 44100, 0.01},
        FormatCase{"Flac96k", {"sox", "%", "-b", "24", "-r", "96000", "@"}, "s.flac", 48000, 0.2},  // another rate, another filter
        FormatCase{"Ogg", {"sox", "%", "@"}, "s.ogg", 44100, 0.2},
        FormatCase{"Opus", {"ffmpeg", "-v", "error", "-i", "%", "-c:a", "libopus", "@"}, "s.opus", 48000, 0.2},
        FormatCase{"Wav24", {"sox", "%", "-b", "24", "-t", "wavpcm", "@"}, "s.wav", 44100, 0.01},
        FormatCase{"ExtensibleWav24", {"sox", "%", "-b", "24", "@"}, "s.wav", 44100, 0.01},
        FormatCase{"FloatWav", {"sox", "%", "-e", "floating-point", "-b", "32", "@"}, "s.wav", 44100, 0.01}),
    RowName());

TEST_F(BatchRun, SixChannelsAreRefusedWithTheReason)
{
    ASSERT_EQ(RunCaptured("sox", {MakeWav("tone.wav"), "-c", "6", dir.File("six.flac")}).exitCode, 0);
    const CapturedRun six = Run({dir.File("six.flac"), "/ana1", "/lev1", "/enc1"});
    EXPECT_EQ(six.exitCode, 1);
    ExpectLog(six, {"Now processing:", dir.File("six.flac"),
                    "Not a valid file format! 6 channels; only mono and stereo can be processed", ""});
}

// ffmpeg's integrated loudness (LUFS) and true peak (dBTP) of a file.
std::pair<double, double> FfmpegR128(const std::string& path)
{
    const CapturedRun run = RunCaptured("ffmpeg", {"-nostats", "-i", path, "-af",
        "ebur128=metadata=1:peak=true,ametadata=print:file=-", "-f", "null", "-"});
    return {LastNumber(run.Lines(), "lavfi.r128.I="), 20 * std::log10(LastNumber(run.Lines(), "lavfi.r128.true_peak="))};
}

// Real music is not at hand: the bundled demo as lame decodes it, and a music-like mix of
// enveloped tones, noise and quiet passages that the relative gate must pass over.
TEST_F(BatchRun, R128AgreesWithFfmpegAndTheTruePeakCeilingHoldsForWavAndMp3)
{
    const std::string demo = dir.File("demo.wav"), music = dir.File("music.wav");
    ASSERT_EQ(RunCaptured("lame", {"--quiet", "--decode", VARNOOK_SOURCE_DIR "/demo/demo.mp3", demo}).exitCode, 0);
    const std::string mix = "(0.3*sin(2*PI*220*t)*(0.6+0.4*sin(2*PI*0.5*t))+0.2*sin(2*PI*331*t)*abs(sin(3*PI*t))"
        "+0.15*sin(2*PI*1760*t)*exp(-4*mod(t,0.5))+0.08*(random(0)-0.5))*if(lt(mod(t,10),3),0.05,1)";
    ASSERT_EQ(RunCaptured("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "aevalsrc='" + mix + "|0.9*" + mix +
                                     "':s=44100:d=30", "-c:a", "pcm_s16le", music}).exitCode, 0);
    for (const std::string& path : {demo, music}) {
        const CapturedRun run = Run({path, "/ana1", "/mode", "r128", "/target", "-16", "/lev0", "/tr0", "/enc0"});
        const double integrated = FfmpegR128(path).first;
        EXPECT_NEAR(LastNumber(run.Lines(), "Integrated loudness: "), integrated, 0.1) << run.out;
        EXPECT_NEAR(LastNumber(run.Lines(), kGain), -16 - integrated, 0.1) << path;
    }
    // Without the ceiling this gain would take the mix's true peak above 0 dBTP.
    std::vector<std::string> args{music, "/ana1", "/mode", "r128", "/target", "-9", "/lev1", "/tr0", "/tp", "-1", "/enc0"};
    const CapturedRun wav = Run(args);
    EXPECT_LT(LastNumber(wav.Lines(), "True peak before: "), LastNumber(wav.Lines(), "True peak after: "));
    EXPECT_LE(FfmpegR128(dir.File("_music.wav")).second, -0.9);
    args.back() = "/enc1";
    ASSERT_EQ(Run(args).exitCode, 0);
    ASSERT_EQ(RunCaptured("lame", {"--quiet", "--decode", dir.File("music.mp3"), config.File("d.wav")}).exitCode, 0);
    EXPECT_LE(FfmpegR128(config.File("d.wav")).second, -0.9);
}

}  // namespace
}  // namespace varnook::test
