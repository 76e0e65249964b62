// Sample editing: amplify, trim and file truncation. The steps work on real WAV files on disk,
// from the WAV info record the header check filled; they never parse a header themselves.
// Depends on io/, the host, the Run settings and request, (amplify) dsp/'s limiter and (trim) the
// analysis; never on Qt or the pipeline.
#pragma once

#include <cstdint>
#include <optional>

#include "base/step_end.h"

namespace varnook {

struct Context;

// What one amplify pass saw, for the run report. The peaks are the largest sample magnitudes
// read and written (32768 is full scale). A half-wave counts as limited when it was scaled down
// to the ceiling rather than by the whole factor; one longer than the look-ahead is cut at the
// buffer's end and its two parts count apart. With the true-peak limiter, what it did: its
// deepest cut in dB and how long it cut at all.
struct LevelFindings {
    int PeakBefore = 0;
    int PeakAfter = 0;
    int64_t HalfWavesLimited = 0;
    double LimiterReductionDb = 0;
    double SecondsLimiting = 0;
};

// A sample peak in dBFS, relative to a full scale of 32768; empty for digital silence, which
// has no finite level.
std::optional<double> PeakDbfs(int magnitude);

// Writes ctx.request.WorkPath amplified by `gain` dB to ctx.request.TempPath: the same length,
// header and trailer bytes, and the same number of samples at the same offsets. A gain of 0
// copies the file byte for byte. A gain up to 0 dB multiplies every sample; above 0 dB each
// half-wave of each channel is scaled as one piece, never past a peak of 31744, so nothing
// clips, however short the file. Refuses (Failed, nothing written or logged) a gain that is
// no number and a file of other than one or two channels. A file error is logged as
// "<number>: <text>" and fails; ctx.wav must describe WorkPath. A stop asked for through
// ctx.stop ends the pass within one block, logging nothing, with TempPath cut short.
// `findings`, when given, gets what the pass saw, found on the way with no pass of its own (the
// copy of gain 0 included); it is only whole when the step finished.
//
// With `limitTo` (a ceiling in dBTP) the whole gain is applied, whatever it is, and the true-peak
// limiter (dsp/limiter.h) holds the result's true peak at or under the ceiling; the half-wave
// rule stays behind it with a factor of 1, as the last guard of the 16-bit samples (it acts only
// for a ceiling above -0.28 dBTP, and then cuts a half-wave at the end of a block's half). A gain
// of 0 is then leveled like any other, since the source itself may pass the ceiling. Material
// whose true peak stays 0.1 dB under the ceiling comes out as without the limiter, sample for
// sample.
StepEnd Leveled(Context& ctx, double gain, LevelFindings* findings = nullptr, std::optional<double> limitTo = {});

}  // namespace varnook
