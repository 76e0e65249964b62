// Encodes one WAV file as the pipeline's library encoders do (read, encode, decode back, rename),
// with no tags: the program bench/outputs_vs_peers.sh times against flac, opusenc and oggenc.
//
//   build/bench/encode_output flac|opus|vorbis IN.wav OUT
//
// Log lines go to standard error. Exits 1 when the file could not be encoded.

#include <cstdio>
#include <exception>
#include <string>

#include "base/host.h"
#include "base/stop_request.h"
#include "base/wav_info.h"
#include "encoder/library_encoder.h"
#include "wav/wav_time.h"

namespace varnook {
namespace {

class StderrHost : public QuietHost {
public:
    void LogLine(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
    void ErrorBox(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

bool Encode(const std::string& format, const std::string& in, const std::string& out)
{
    const OutputFormat output = format == "flac"   ? OutputFormat::Flac
                                : format == "opus" ? OutputFormat::Opus
                                                   : OutputFormat::Vorbis;
    StderrHost host;
    WavInfo wav;
    if (WavTime(host, wav, in) < 0) return false;
    const StopRequest stop;
    return EncodedByLibrary(output, CodecSettings{}, in, wav, out, 0, host, stop) == StepEnd::Finished;
}

}  // namespace
}  // namespace varnook

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s flac|opus|vorbis IN.wav OUT\n", argv[0]);
        return 2;
    }
    try {
        return varnook::Encode(argv[1], argv[2], argv[3]) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
