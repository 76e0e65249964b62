// WavTime on arbitrary bytes: it must log and return -1 for anything malformed, never crash,
// read out of bounds or throw.
#include <cstdint>

#include "base/context.h"
#include "base/host.h"
#include "fuzz_support.h"
#include "wav/wav_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static varnook::QuietHost host;
    varnook::Context ctx(host);
    const std::string path = varnook::fuzz::WriteScratchFile("input.wav", data, size);
    (void)varnook::WavTime(ctx.host, ctx.wav, path);
    return 0;
}
