// The true peak of a WAV file as an independent, high-quality upsampler sees it, for holding
// Varnook's own true-peak code against: sox's `rate -v` to eight times the rate, then the largest
// sample magnitude.
#pragma once

#include <cstdint>
#include <string>

namespace varnook::test {

// In dBTP; the file is halved before the upsampling, so nothing over full scale is clipped on
// the way. Fails the calling test (and returns NaN) when sox does not run or says nothing.
double SoxTruePeakDb(const std::string& wavPath, int32_t sampleRate);

}  // namespace varnook::test
