// The Run settings: every option that steers the processing of a file. One instance lives in the
// Context for the whole process; its keys, ranges and defaults are the key table's
// (settings/key_table.h), which loading fills it from. A record made in code starts from the
// plain values below.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "base/output_format.h"

namespace varnook {

// Indexes of KeepTag: which tags are carried over when an MP3 is encoded again.
enum TagIndex { kTagTitle = 0, kTagArtist, kTagAlbum, kTagYear, kTagTrack, kTagGenre, kTagComment };
// Indexes of TrimLevel: thresholds in dB below the average level.
enum TrimIndex { kCutIn = 0, kFadeIn = 1, kFadeOut = 2, kCutOut = 3 };
// Indexes of Lead: digital silence in seconds.
enum LeadIndex { kLeadIn = 0, kLeadOut = 1 };

// How the recommended gain is found: the equal-loudness analysis against the pink-noise
// reference, or the integrated loudness of ITU-R BS.1770 against a target in LUFS.
enum class LoudnessMode { Rg1, R128 };

// How a true-peak ceiling is kept: by lowering the gain until the peak fits, or by applying the
// whole gain and letting the look-ahead limiter hold the peaks down.
enum class PeakMode { Gain, Limit };
// How a library run groups its files into albums, each leveled by one gain so that its tracks
// keep their levels to each other: not at all, by the folder they lie in, or by their album and
// album-artist tags.
enum class AlbumMode { Off, Folder, Tag };

inline constexpr const char* kSettingsSection = "Values";

struct RunSettings {
    bool Analyze = false;
    bool Amplify = false;
    bool Trim = false;
    bool Encode = false;
    std::array<bool, 7> KeepTag{};
    // Every other frame of the source's tag, and its cover art, carried into the new MP3.
    bool KeepAllTags = true;
    double NewLevel = 0;
    std::array<double, 2> Lead{};
    std::array<double, 4> TrimLevel{};
    std::string Arguments;
    double PinkRef = 0;
    double RmsPercent = 0;
    double RmsDiff = 0;
    LoudnessMode Loudness = LoudnessMode::Rg1;
    double Target = 0;                        // LUFS, for the r128 mode
    std::optional<double> TruePeak;           // dBTP ceiling; none is off
    PeakMode Peaks = PeakMode::Gain;          // Limit: a ceiling of TruePeak or -1 dBTP always
    // Files processed at once in a library run; 0 means one per online CPU, which is what a
    // settings file without the key gives. Records made in code run one file at a time.
    int Jobs = 1;
    // Pass over a source whose output is up to date, and mark outputs so a later run can tell.
    bool SkipDone = false;
    AlbumMode Album = AlbumMode::Off;
    // What encoding gives (Encode off gives WAV), and how hard its library works. A /dest
    // extension chooses for its file; the pipeline keeps that choice here for the file.
    OutputFormat Output = OutputFormat::Mp3;
    CodecSettings Codec;

    std::string SettingsPath;
    std::string SettingsSection;
};

// The format a file is delivered in before a /dest extension has its say.
inline OutputFormat ChosenOutput(const RunSettings& settings)
{
    return settings.Encode ? settings.Output : OutputFormat::Wav;
}

// The settings as a file delivered in `format` (its /dest extension's say included) is made by.
inline void DeliverAs(RunSettings& settings, OutputFormat format)
{
    settings.Encode = format != OutputFormat::Wav;
    settings.Output = format;
}

}  // namespace varnook
