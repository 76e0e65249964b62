// Checks, filters and analyses whole WAV files as the pipeline's analysis step does, and prints
// each file's recommended gain: the program bench/compare.sh times against other tools.
//
//   build/bench/analyze_file FILE.wav...
//
// Prints "<gain> dB<TAB><file>" per file (gain to two decimals); header faults and warnings go
// to standard error. Exits 1 when any file could not be analysed.

#include <cstdio>
#include <exception>
#include <string>

#include "settings/run_settings_file.h"
#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "io/numbers.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

class StderrHost : public Host {
public:
    void LogLine(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
    void SetCaption(const std::string&) override {}
    void Yield() override {}
    void ErrorBox(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    WindowState ProgressWindowState() const override { return WindowState::Normal; }
};

bool AnalyzeFile(const std::string& path)
{
    StderrHost host;
    Context ctx(host);
    SetDefaults(ctx.settings);
    ctx.request.WorkPath = path;
    if (WavTime(ctx.host, ctx.wav, path) < 0) {
        std::fprintf(stderr, "%s: Not a valid wav file!\n", path.c_str());
        return false;
    }
    if (ctx.wav.BitsPerSample != 16 || ctx.wav.FormatTag != 1) {
        std::fprintf(stderr, "%s: Only 16-bit pcm wav files supported!\n", path.c_str());
        return false;
    }
    double gain = 0;
    if (!SetFilter(ctx) || Analyzed(ctx, gain, ctx.wav.DataStart, ctx.wav.DataSize / ctx.wav.BlockAlign) != StepEnd::Finished) {
        std::fprintf(stderr, "%s: Could not analyze\n", path.c_str());
        return false;
    }
    std::printf("%s dB\t%s\n", FormatFixed2(gain, '.').c_str(), path.c_str());
    return true;
}

}  // namespace
}  // namespace varnook

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.wav...\n", argv[0]);
        return 2;
    }
    bool allGood = true;
    for (int i = 1; i < argc; ++i) {
        try {
            allGood = varnook::AnalyzeFile(argv[i]) && allGood;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.what());
            allGood = false;
        }
    }
    return allGood ? 0 : 1;
}
