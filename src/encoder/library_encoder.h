// The outputs written by a library instead of lame: FLAC (libFLAC), Ogg Opus (libopusenc) and
// Ogg Vorbis (libvorbisenc). They are made from the work WAV the steps before left (16 or
// 24-bit PCM, mono or stereo), the way lame's are: into a work file in the output's folder
// that takes the output's name only once it is complete, tagged and decoded back whole.
// Depends on the WAV info record, io/, the host and the stop request; never on the windows.
#pragma once

#include <string>

#include "base/output_format.h"
#include "base/step_end.h"

namespace varnook {

class Host;
class StopRequest;
struct TagCarry;
struct WavInfo;

// Encodes the samples of `workWav`, laid out as `wav` says (WavTime's record of that file), as
// `format` (Flac, Opus or Vorbis) to `outFile`. Writes the encoder's work file of `job` (see
// WorkFileName) in outFile's folder, made new (never through a link there), then, when `carry`
// is given, has it write the tags (its Room is the FLAC padding left for them); decodes the file
// back with the same library and checks that it holds every frame (and, for FLAC, the MD5 of the
// samples); and only then renames it over outFile, which until then is left as it was.
//
// Done: outFile is the new file. Stopped: `stop` was asked for (it is looked at before every
// block of samples). Failed: a file error (logged, after kInterruptedIntro, as "61: Disk full"),
// a library refusing the layout or a setting, tags that could not be written (`carry` logs why)
// or a file that does not decode back whole (logged); anything else shows the error box. After
// anything but Done the work file is gone and outFile untouched. The host yields after every
// block, so the windows stay responsive. A lossy format's samples are multiplied by `gain`.
StepEnd EncodedByLibrary(OutputFormat format, const CodecSettings& codec, const std::string& workWav,
                               const WavInfo& wav, const std::string& outFile, int job, Host& host,
                               const StopRequest& stop, const TagCarry* carry = nullptr, double gain = 1);

}  // namespace varnook
