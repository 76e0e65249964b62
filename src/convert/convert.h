// Source conversion: every source the format table (formats/) marks as converted, and the WAV
// variants today's header check refuses, becomes a plain 16-bit PCM work WAV, which the
// later steps take like any other WAV. Rates above 48 kHz are resampled on the way, since MP3
// cannot hold them and the analysis knows only the rates up to 48 kHz. For an output that holds
// any depth, a source of more than 16 bits becomes a 24-bit work WAV at its own rate instead.
// Depends on libsndfile, libsoxr, formats/ and io/ only: never on the orchestration (pipeline/, library/, cli/), the other steps or Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/wav_info.h"

namespace varnook {

// How the pipeline takes a source.
enum class SourceKind {
    Mp3,        // decoded by lame
    PlainWav,   // today's path: the header check and the steps work on the file itself
    Convert,    // turned into a work WAV first
    Unknown,    // not a format the table reads: "Not a valid file format!"
};

// Decides by the extension's row of the format table and, for a WAV, by the header: a RIFF/WAVE
// file whose first chunk is a PCM "fmt " of 16 bits at a rate up to 48000, and whose data size
// is not the streaming marker 0xFFFFFFFF, takes today's path (the header check repairs or
// refuses it as it always has); any other WAV (8, 24 or 32-bit, float, WAVE_FORMAT_EXTENSIBLE,
// RF64, a chunk before "fmt ", a rate above 48000, for which no loudness filter exists) is
// converted. A rate up to 48000 without a filter (12345) stays: a conversion would keep it.
SourceKind ClassifySource(const std::string& path, const std::string& ext);

// The rate a source of `rate` Hz is converted to: unchanged up to 48000; above it 44100 from a
// multiple of 44100, otherwise 48000.
int32_t ConvertedRate(int32_t rate);

struct ConvertResult {
    bool Ok = false;        // readable and of a layout we take
    // Why a readable source was refused; empty when libsndfile could not read it at all.
    std::string Reason;
    int32_t SourceRate = 0;
    int32_t Rate = 0;
    int Channels = 0;
    int Bits = 16;          // of the work WAV: 16, or 24 where the source's depth is kept
    // For the log when the conversion went well but found the header wrong: it counts fewer
    // samples than the stream holds (all of which are converted).
    std::string Note;
};

// Opens the source just to see whether it can be converted; writes nothing.
ConvertResult ProbeSource(const std::string& source);

// How long a source of any format the table reads plays, in seconds, as its header gives it
// (an MP3's by its Info frame or its first frame's bitrate); 0 when it cannot be read, or is no
// regular file, which is never opened (a device named like a song could be read without end).
// Never a pass over the audio: about 10 us for a WAV, FLAC or AIFF file, 0.1 ms for an MP3,
// under 1 ms for Ogg and Opus, whose decoders are set up to read it.
double AudioSeconds(const std::string& source);

// Writes `source` as a 16-bit PCM mono or stereo WAV with a plain 44-byte header to `work`.
// 8 and 16-bit integer sources at rates up to 48000 keep their samples exactly; everything else
// goes through float, the resampler where the rate calls for it, and TPDF dither from a fixed
// seed, so the same source always gives the same bytes. The stream is decoded to its end,
// whatever length its header gives (see whole_stream.h). Other channel counts are refused with a
// reason and write nothing; a stream that breaks off, or ends before the length its header gives,
// gives Ok false with the reason after the work file was written. A file error (FileError) while
// writing is raised to the caller; `yield` is called between blocks so the windows stay
// responsive.
// With `keepDepth`, a source of more than 16 bits (24 or 32-bit integers, float) is written at 24
// bits and its own rate instead: each sample rounded to the nearest 24-bit step (exact for a
// 24-bit source), a float beyond full scale held at it; no dither, no resampling.
ConvertResult ConvertToWorkWav(const std::string& source, const std::string& work, bool keepDepth,
                               const std::function<void()>& yield);

// Writes the 24-bit work WAV `work` (layout in `wav`, as the header check found it) again at
// `rate`, through the resampler, as 24-bit samples: the copy the equal-loudness analysis measures
// when no filter exists for the work file's own rate. Returns the copy's layout; a file error is
// raised.
WavInfo WriteResampledCopy(const std::string& work, const WavInfo& wav, const std::string& copy, int32_t rate);

}  // namespace varnook
