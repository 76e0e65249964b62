// The whole WAV path on a valid-looking header followed by arbitrary bytes: header check, filter,
// analysis, amplify and trim, with the options taken from the input's first bytes.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/filter.h"
#include "base/context.h"
#include "editing/amplify.h"
#include "editing/trim.h"
#include "base/host.h"
#include "fuzz_support.h"
#include "io/byte_order.h"
#include "wav/wav_time.h"

namespace {

constexpr std::array<int32_t, 10> kRates{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 44000};
constexpr size_t kOptionBytes = 8;

std::vector<uint8_t> BuildInput(const uint8_t* data, size_t size)
{
    const int16_t channels = (data[0] & 1) ? 2 : 1;
    const int32_t rate = kRates[data[1] % kRates.size()];
    const bool claimMore = data[2] & 1;  // a data size larger than the file, to be repaired
    const uint8_t* body = data + kOptionBytes;
    const size_t bodySize = size - kOptionBytes;
    // Part of the body becomes a trailing chunk when the option says so.
    const size_t dataBytes = (data[3] & 1) ? bodySize - bodySize / 4 : bodySize;

    std::vector<uint8_t> out(44);
    std::memcpy(out.data(), "RIFF", 4);
    std::memcpy(out.data() + 8, "WAVEfmt ", 8);
    varnook::StoreLE32(out.data() + 16, 16);
    varnook::StoreLE16(out.data() + 20, 1);
    varnook::StoreLE16(out.data() + 22, channels);
    varnook::StoreLE32(out.data() + 24, rate);
    varnook::StoreLE32(out.data() + 28, rate * 2 * channels);
    varnook::StoreLE16(out.data() + 32, static_cast<int16_t>(2 * channels));
    varnook::StoreLE16(out.data() + 34, 16);
    std::memcpy(out.data() + 36, "data", 4);
    varnook::StoreLE32(out.data() + 40, static_cast<int32_t>(claimMore ? dataBytes + 1000 : dataBytes));
    out.insert(out.end(), body, body + bodySize);
    varnook::StoreLE32(out.data() + 4, static_cast<int32_t>(out.size() - 8));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kOptionBytes) return 0;
    static varnook::QuietHost host;
    varnook::Context ctx(host);
    auto& s = ctx.settings;
    s.PinkRef = 64.82;
    s.RmsPercent = static_cast<double>(data[4]) / 200.0;  // also outside 0..1
    s.RmsDiff = 30;
    s.NewLevel = static_cast<int8_t>(data[5]) / 4.0;
    s.Lead = {static_cast<double>(data[6] % 8) / 10.0, static_cast<double>(data[7] % 8) / 10.0};
    s.TrimLevel = {30, 24, 24, 30};

    const std::vector<uint8_t> wav = BuildInput(data, size);
    const std::string work = varnook::fuzz::WriteScratchFile("steps.wav", wav.data(), wav.size());
    ctx.request.WorkPath = work;
    ctx.request.TempPath = varnook::fuzz::ScratchFolder() + "/VRK.tmp";
    ::unlink(ctx.request.TempPath.c_str());

    if (varnook::WavTime(ctx.host, ctx.wav, work) < 0) return 0;
    double gain = 0;
    if (varnook::SetFilter(ctx) && ctx.wav.BlockAlign > 0)
        (void)varnook::Analyzed(ctx, gain, ctx.wav.DataStart, ctx.wav.DataSize / ctx.wav.BlockAlign);
    (void)varnook::Leveled(ctx, s.NewLevel + gain);
    ctx.request.WorkPath = ctx.request.TempPath;
    if (::access(ctx.request.WorkPath.c_str(), F_OK) != 0) {
        varnook::fuzz::WriteScratchFile("VRK.tmp", wav.data(), wav.size());
        if (varnook::WavTime(ctx.host, ctx.wav, ctx.request.WorkPath) < 0) return 0;
    }
    (void)varnook::Trimmed(ctx);
    (void)varnook::WavTime(ctx.host, ctx.wav, ctx.request.WorkPath);
    return 0;
}
