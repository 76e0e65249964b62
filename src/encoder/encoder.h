// The external encoder: lame decodes MP3 sources, encodes the edited WAV and recodes MP3 to MP3.
// It is started with an argument vector, never through a shell, and only its exit code and the
// file it writes count. Depends on the Context records, io/ and the host; never on the windows.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "base/step_end.h"

namespace varnook {

// lame (and a library encoder, see library_encoder.h) always writes here, in the output's folder,
// first: a failed run never leaves a half-written file under the output's own name, and an
// existing output survives until the new one is complete. A run holding that folder removes one
// a killed run left.
inline constexpr const char* kEncoderWorkName = "mp3.tmp";

struct Context;

// Tags added to an encoder's output once it is written (the pipeline carries the source's other
// tag frames into an MP3 this way, and every tag into a library's output): `Room` is the space
// the encoder leaves for them (lame's ID3v2 padding, a FLAC PADDING block; 0 for none), and
// `Write` gets the temporary output before it takes the output's name; false fails the encode.
struct TagCarry {
    size_t Room = 0;
    std::function<bool(const std::string& tempOut)> Write;
};

// Runs lame to turn inFile into outFile. options is "--decode" or the user's Arguments; for
// anything but "--decode" the tag options of ctx.tagsV2/ctx.tagsV1 (as ctx.settings.KeepTag
// selects) come first. lame writes its work file (see WorkFileName; "mp3.tmp" for job 0) in
// outFile's folder (made new, never through a link there), which is renamed to outFile on exit
// code 0 when it is whole (see whole_output.h), after `carry` (when given) has written its frames
// into it; paths reach lame absolute, so none reads as an option. With a provenance in
// ctx.request, an encoded file carries it. A stop requested through ctx.stop ends lame early, or
// keeps it from starting when it came first: the step was stopped, and the work file is removed,
// as it is after any failure, a failed rename included. When lame fails on its own,
// `encoderError` (if given) gets the last line lame wrote to its standard error, which tells why
// ("lame: unrecognized option --bogus"); it may be empty.
StepEnd Encoded(Context& ctx, const std::string& options, const std::string& inFile,
                const std::string& outFile, std::string* encoderError = nullptr,
                const TagCarry* carry = nullptr);

}  // namespace varnook
