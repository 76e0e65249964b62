// A finished output read back as a player hears it: the samples its decoder gives, for checks of
// the delivered file (its true peak). Part of convert/, the one folder that reads through
// libsndfile.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace varnook {

// Decodes `path`, any format libsndfile reads (MP3, FLAC, Ogg Opus and Vorbis, WAV), to its end:
// `start` gets the channel count and rate once, then `block` the samples, interleaved floats
// with 1.0 as full scale, block by block. Values beyond full scale, a lossy output's overshoot,
// come as they are: a decoder to 16 bits would clip them and hide the very peaks looked for.
// False when libsndfile cannot open the file or its reading breaks off (the blocks handed on
// before that stand).
bool DecodedSamples(const std::string& path, const std::function<void(int channels, int32_t rate)>& start,
                    const std::function<void(std::span<const float>)>& block);

}  // namespace varnook
