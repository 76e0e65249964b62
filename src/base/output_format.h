// The kinds of file Varnook writes. MP3 goes through the external lame; WAV is the edited work
// file itself; FLAC, Opus and Ogg Vorbis are written by their libraries (encoder/) and tagged
// with Vorbis comments (id3/).
#pragma once

#include <array>
#include <string_view>

namespace varnook {

enum class OutputFormat { Mp3, Wav, Flac, Opus, Vorbis };

// Each format's name in the order of the enum: the values of the Output setting and of the
// report's format column.
inline constexpr std::array<std::string_view, 5> kOutputFormatNames{"mp3", "wav", "flac", "opus", "ogg"};
static_assert(static_cast<size_t>(OutputFormat::Vorbis) + 1 == kOutputFormatNames.size());

inline std::string_view OutputFormatName(OutputFormat format)
{
    return kOutputFormatNames[static_cast<size_t>(format)];
}

// True for the outputs that can hold a source's own depth and rate (FLAC and WAV); MP3, Opus and
// Vorbis outputs are made from a 16-bit work file.
constexpr bool KeepsSourceDepth(OutputFormat format)
{
    return format == OutputFormat::Flac || format == OutputFormat::Wav;
}

// How hard each library works; what no setting names keeps these defaults.
struct CodecSettings {
    int FlacLevel = 5;         // 0 (fastest) to 8 (smallest)
    int OpusKbps = 160;        // kilobits per second for all channels, 6 to 512 as opusenc takes it
    double VorbisQuality = 6;  // -1 to 10, as oggenc counts
};

}  // namespace varnook
