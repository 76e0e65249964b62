#include "support/sox_true_peak.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/captured_run.h"

namespace varnook::test {

double SoxTruePeakDb(const std::string& wavPath, int32_t sampleRate)
{
    const CapturedRun run =
        RunCaptured("sox", {wavPath, "-n", "vol", "0.5", "rate", "-v", std::to_string(8 * sampleRate), "stat"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // `stat` prints "Maximum amplitude:     0.445312" and "Minimum amplitude:    -0.445312".
    double peak = -1;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);)
        for (const char* label : {"Maximum amplitude:", "Minimum amplitude:"})
            if (line.rfind(label, 0) == 0) peak = std::max(peak, std::abs(std::stod(line.substr(std::string(label).size()))));
    EXPECT_GE(peak, 0) << run.err;
    return peak >= 0 ? 20 * std::log10(2 * peak) : NAN;
}

}  // namespace varnook::test
