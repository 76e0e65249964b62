// Sources beyond 16-bit WAV and MP3, and the loudness modes, end to end: sources made by sox and
// ffmpeg from the generated tone, loudness and true peak checked against ffmpeg's ebur128 filter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

struct FormatCase {
    const char* name;
    std::vector<std::string> make;  // program and arguments; "%" is the tone WAV, "@" the source
    std::string source;
    int32_t rate;                   // of the work WAV
};
void PrintTo(const FormatCase& row, std::ostream* os) { *os << row.name; }

// The number after `prefix` on the last line that starts with it; NaN when there is none.
double LastNumber(const std::vector<std::string>& lines, const std::string& prefix)
{
    double value = NAN;
    for (const std::string& line : lines)
        if (line.starts_with(prefix)) value = std::strtod(line.c_str() + prefix.size(), nullptr);
    return value;
}

// ffmpeg's integrated loudness (LUFS) and true peak (dBTP) of a file.
std::pair<double, double> FfmpegR128(const std::string& path)
{
    const CapturedRun run = RunCaptured("ffmpeg", {"-nostats", "-i", path, "-af",
        "ebur128=metadata=1:peak=true,ametadata=print:file=-", "-f", "null", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return {LastNumber(run.Lines(), "lavfi.r128.I="), 20 * std::log10(LastNumber(run.Lines(), "lavfi.r128.true_peak="))};
}

// The run with every two-decimal number written "<n>", for ExpectInOrder.
CapturedRun Masked(CapturedRun run)
{
    std::string out;
    for (const std::string& line : run.Lines()) out += MaskNumbers(line) + "\n";
    run.out = out;
    return run;
}

class Formats : public BatchRun, public testing::WithParamInterface<FormatCase> {
protected:
    std::string Make(const FormatCase& row)
    {
        WriteAllBytes(config.File("tone.wav"), ToneWav());
        std::vector<std::string> args(row.make.begin() + 1, row.make.end());
        for (std::string& arg : args) arg = arg == "%" ? config.File("tone.wav") : arg == "@" ? dir.File(row.source) : arg;
        EXPECT_EQ(RunCaptured(row.make[0], args).exitCode, 0);
        return dir.File(row.source);
    }
};

TEST_P(Formats, AreConvertedThenProcessedToMp3AndToWav)
{
    const FormatCase& row = GetParam();
    const std::string source = Make(row);
    const std::string format = "16 bits, " + std::to_string(row.rate) + " samp/s, 2 chan";
    // "_" only where the WAV output would be the source's own name.
    const std::string wav = row.source.ends_with(".wav") ? "_s.wav" : "s.wav";
    ExpectLog(Run({source, "/ana0", "/lev1", "/tr0", "/enc0"}),
              {"Now processing:", source, "Converting...", "Converted OK", "Checking wav file...",
               kInfoLine, format, "Leveling with: <n> dB...", "Leveled OK", kTimeLine,
               "Checking wav file...", kInfoLine, kTimeLine, ""});
    EXPECT_EQ(Listing(), (std::set<std::string>{row.source, wav}));
    const CapturedRun mp3 = Run({source, "/ana1", "/lev1", "/tr1", "/enc1"});
    EXPECT_EQ(mp3.exitCode, 0) << mp3.out;
    ExpectInOrder(mp3, {"Converting...", "Converted OK", "Trimmed OK", "Encoded OK"});
    EXPECT_EQ(Listing(), (std::set<std::string>{row.source, wav, "s.mp3"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Formats,
    testing::Values(
        FormatCase{"Flac16", {"sox", "%", "@"}, "s.flac", 44100},
        FormatCase{"Flac24", {"sox", "%", "-b", "24", "@"}, "s.flac", 44100},
        FormatCase{"Flac96k", {"sox", "%", "-b", "24", "-r", "96000", "@"}, "s.flac", 48000},
        FormatCase{"Ogg", {"sox", "%", "@"}, "s.ogg", 44100},
        FormatCase{"Opus", {"ffmpeg", "-v", "error", "-i", "%", "-c:a", "libopus", "@"}, "s.opus", 48000},
        FormatCase{"Wav24", {"sox", "%", "-b", "24", "-t", "wavpcm", "@"}, "s.wav", 44100},
        FormatCase{"ExtensibleWav24", {"sox", "%", "-b", "24", "@"}, "s.wav", 44100},
        FormatCase{"FloatWav", {"sox", "%", "-e", "floating-point", "-b", "32", "@"}, "s.wav", 44100}),
    RowName());

TEST_F(BatchRun, Flac16GainEqualsItsWavsAndSixChannelsAreRefused)
{
    const std::string wav = MakeWav("tone.wav");
    ASSERT_EQ(RunCaptured("sox", {wav, dir.File("tone.flac")}).exitCode, 0);
    for (const char* mode : {"rg1", "r128"}) {
        const auto gain = [&](const std::string& path) {
            const CapturedRun run = Run({path, "/ana1", "/mode", mode, "/lev0", "/tr0", "/enc0"});
            return LastNumber(run.Lines(), "Recommended gain: ");
        };
        EXPECT_EQ(gain(wav), gain(dir.File("tone.flac"))) << mode;
    }
    ASSERT_EQ(RunCaptured("sox", {wav, "-c", "6", dir.File("six.flac")}).exitCode, 0);
    const CapturedRun six = Run({dir.File("six.flac"), "/ana1", "/lev1", "/enc1"});
    EXPECT_EQ(six.exitCode, 1);
    ExpectLog(six, {"Now processing:", dir.File("six.flac"),
                    "Not a valid file format! 6 channels; only mono and stereo can be processed", ""});
}

// Real music is not at hand: the bundled demo (as lame decodes it) and a music-like mix of
// enveloped tones, noise and quiet passages that the relative gate must drop.
class PeerMusic : public BatchRun {
protected:
    std::string Music()
    {
        const std::string path = dir.File("music.wav");
        const char* mix =
            "(0.3*sin(2*PI*220*t)*(0.6+0.4*sin(2*PI*0.5*t))+0.2*sin(2*PI*331*t)*abs(sin(2*PI*1.5*t))"
            "+0.15*sin(2*PI*1760*t)*exp(-4*mod(t,0.5))+0.08*(random(0)-0.5))*if(lt(mod(t,10),3),0.05,1)";
        const std::string expr = std::string(mix) + "|0.9*" + mix;
        EXPECT_EQ(RunCaptured("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "aevalsrc='" + expr + "':s=44100:d=30",
                                         "-c:a", "pcm_s16le", path}).exitCode, 0);
        return path;
    }
    std::string Demo()
    {
        const std::string path = dir.File("demo.wav");
        EXPECT_EQ(RunCaptured("lame", {"--quiet", "--decode", std::string(VARNOOK_SOURCE_DIR) + "/demo/demo.mp3", path}).exitCode, 0);
        return path;
    }
};

TEST_F(PeerMusic, R128GainAgreesWithFfmpeg)
{
    for (const std::string& path : {Demo(), Music()}) {
        const CapturedRun run = Run({path, "/ana1", "/mode", "r128", "/target", "-16", "/lev0", "/tr0", "/enc0"});
        const double integrated = FfmpegR128(path).first;
        EXPECT_NEAR(LastNumber(run.Lines(), "Integrated loudness: "), integrated, 0.1) << path << run.out;
        EXPECT_NEAR(LastNumber(run.Lines(), "Recommended gain: "), -16 - integrated, 0.1) << path;
    }
}

TEST_F(PeerMusic, TruePeakCeilingHoldsForWavAndMp3)
{
    const std::string music = Music();
    const std::vector<std::string> loud{"/ana1", "/mode", "r128", "/target", "-9", "/lev1", "/tr0"};
    std::vector<std::string> args{music, "/tp", "-1", "/enc0"};
    args.insert(args.end(), loud.begin(), loud.end());
    const CapturedRun wav = Run(args);
    ExpectInOrder(Masked(wav), {"Recommended gain: <n> dB", "True peak before: <n> dBTP", "Leveling with: <n> dB...",
                        "Leveled OK", "True peak after: <n> dBTP"});
    EXPECT_LE(FfmpegR128(dir.File("_music.wav")).second, -0.9);

    args[3] = "/enc1";
    ASSERT_EQ(Run(args).exitCode, 0);
    ASSERT_EQ(RunCaptured("lame", {"--quiet", "--decode", dir.File("music.mp3"), config.File("d.wav")}).exitCode, 0);
    EXPECT_LE(FfmpegR128(config.File("d.wav")).second, -0.9);
}

}  // namespace
}  // namespace varnook::test
