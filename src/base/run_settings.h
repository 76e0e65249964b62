// The Run settings: every option that steers the processing of a file, with their defaults,
// settings-file keys. One instance lives in the Context for the whole process; loading and
// storing it is the settings step's (settings/run_settings_file.h).
#pragma once

#include <array>
#include <string>

namespace varnook {

// Indexes of KeepTag: which tags are carried over when an MP3 is encoded again.
enum TagIndex { kTagTitle = 0, kTagArtist, kTagAlbum, kTagYear, kTagTrack, kTagGenre, kTagComment };
// Indexes of TrimLevel: thresholds in dB below the average level.
enum TrimIndex { kCutIn = 0, kFadeIn = 1, kFadeOut = 2, kCutOut = 3 };
// Indexes of Lead: digital silence in seconds.
enum LeadIndex { kLeadIn = 0, kLeadOut = 1 };

inline constexpr double kDefaultPinkRef = 64.82;
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
    double NewLevel = 0;
    std::array<double, 2> Lead{};
    std::array<double, 4> TrimLevel{};
    std::string Arguments;
    double PinkRef = 0;
    double RmsPercent = 0;
    double RmsDiff = 0;
    // Files processed at once in a library run; 0 means one per online CPU, which is what a
    // settings file without the key gives. Records made in code run one file at a time.
    int Jobs = 1;
    // Pass over a source whose output is up to date, and mark outputs so a later run can tell.
    bool SkipDone = false;

    std::string SettingsPath;
    std::string SettingsSection;
};

}  // namespace varnook
