// The Run settings: every option that steers the processing of a file, with their defaults,
// settings-file keys. One instance lives in the Context for the whole process; loading and
// storing it is the settings step's (settings/run_settings_file.h).
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace varnook {

// Indexes of KeepTag: which tags are carried over when an MP3 is encoded again.
enum TagIndex { kTagTitle = 0, kTagArtist, kTagAlbum, kTagYear, kTagTrack, kTagGenre, kTagComment };
// Indexes of TrimLevel: thresholds in dB below the average level.
enum TrimIndex { kCutIn = 0, kFadeIn = 1, kFadeOut = 2, kCutOut = 3 };
// Indexes of Lead: digital silence in seconds.
enum LeadIndex { kLeadIn = 0, kLeadOut = 1 };

// What a number setting may hold. A value outside it is a usage error on the command line and
// gives way to the default in the settings file; a value typed in the window is taken as typed.
struct NumberRange {
    double Low;
    double High;
    bool LowIncluded = true;  // false: Low itself is outside, only values above it are in

    bool Contains(double value) const { return (LowIncluded ? value >= Low : value > Low) && value <= High; }
};

// Levels and thresholds in dB: far beyond anything 16 bits can tell apart, so only typing
// mistakes are refused.
inline constexpr double kMaxLevelDb = 200;
inline constexpr double kMaxLeadSeconds = 3600;
inline constexpr NumberRange kLevelRange{-kMaxLevelDb, kMaxLevelDb};
// A negative lead counts as none; only a lead longer than an hour is a mistake.
inline constexpr NumberRange kLeadRange{std::numeric_limits<double>::lowest(), kMaxLeadSeconds};
// A percentile of 0 would take the quietest window; above 1 there is no window to take.
inline constexpr NumberRange kRmsPercentRange{0, 1, false};
inline constexpr NumberRange kRmsDiffRange{0, kMaxLevelDb};

// How the recommended gain is found: the equal-loudness analysis against the pink-noise
// reference, or the integrated loudness of ITU-R BS.1770 against a target in LUFS.
enum class LoudnessMode { Rg1, R128 };

inline constexpr double kDefaultPinkRef = 64.82;
// ReplayGain 2.0's reference level.
inline constexpr double kDefaultTarget = -18;
inline constexpr double kDefaultRmsPercent = 0.95;
inline constexpr double kDefaultRmsDiff = 30;
inline constexpr const char* kSettingsSection = "Values";

// Settings-file keys. Array elements are stored under their index digit followed by the word:
// TrimLevel 0 is "0Level", Lead 1 is "1Lead", KeepTag 6 is "6ID3" (see IndexedKey).
inline constexpr const char* kKeyAnalyze = "Analyze";
inline constexpr const char* kKeyAmplify = "Level";
inline constexpr const char* kKeyTrim = "Trim";
inline constexpr const char* kKeyEncode = "Encode";
inline constexpr const char* kKeyNewLevel = "NewLevel";
inline constexpr const char* kKeyArguments = "Arguments";
inline constexpr const char* kKeyPinkRef = "PinkRef";
inline constexpr const char* kKeyRmsPercent = "RmsPercent";
inline constexpr const char* kKeyRmsDiff = "RmsDiff";
inline constexpr const char* kKeyKeepAllTags = "KeepAllTags";
inline constexpr const char* kKeyLoudness = "Loudness";
inline constexpr const char* kKeyTarget = "Target";
inline constexpr const char* kKeyTruePeak = "TruePeak";
inline constexpr const char* kKeyJobs = "Jobs";
inline constexpr const char* kKeySkipDone = "SkipDone";
inline constexpr const char* kWordKeepTag = "ID3";
inline constexpr const char* kWordTrimLevel = "Level";
inline constexpr const char* kWordLead = "Lead";

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
    double Target = kDefaultTarget;           // LUFS, for the r128 mode
    std::optional<double> TruePeak;           // dBTP ceiling; none is off
    // Files processed at once in a library run; 0 means one per online CPU, which is what a
    // settings file without the key gives. Records made in code run one file at a time.
    int Jobs = 1;
    // Pass over a source whose output is up to date, and mark outputs so a later run can tell.
    bool SkipDone = false;

    std::string SettingsPath;
    std::string SettingsSection;
};

}  // namespace varnook
