#include "convert/decoded_samples.h"

#include <vector>

#include <sndfile.h>

#include "convert/whole_stream.h"

namespace varnook {
namespace {

constexpr sf_count_t kBlockFrames = 8192;

}  // namespace

bool DecodedSamples(const std::string& path, const std::function<void(int channels, int32_t rate)>& start,
                    const std::function<void(std::span<const float>)>& block)
{
    const WholeStream stream(path);
    if (stream.Get() == nullptr || stream.Info().channels < 1) return false;
    const int channels = stream.Info().channels;
    start(channels, stream.Info().samplerate);
    std::vector<float> samples(static_cast<size_t>(kBlockFrames * channels));
    for (;;) {
        const sf_count_t frames = sf_readf_float(stream.Get(), samples.data(), kBlockFrames);
        if (frames <= 0) break;
        block(std::span<const float>(samples.data(), static_cast<size_t>(frames * channels)));
    }
    return sf_error(stream.Get()) == SF_ERR_NO_ERROR && stream.ReadError().empty();
}

}  // namespace varnook
