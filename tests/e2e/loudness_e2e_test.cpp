// The loudness targets end to end: the integrated loudness and the true peak that varnook finds
// and reaches, checked against ffmpeg's ebur128 on real music and a music-like mix.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "e2e/batch_fixture.h"

namespace varnook::test {
namespace {

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
        EXPECT_NEAR(LastNumber(run.Lines(), "Recommended gain: "), -16 - integrated, 0.1) << path;
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
