// The kinds of file Varnook writes. MP3 goes through the external lame; WAV is the edited work
// file itself; FLAC, Opus and Ogg Vorbis are written by their libraries (encoder/) and tagged
// with Vorbis comments (id3/).
#pragma once

namespace varnook {

enum class OutputFormat { Mp3, Wav, Flac, Opus, Vorbis };

}  // namespace varnook
