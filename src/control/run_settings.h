// The Run settings: every option that steers the processing of a file, with their defaults,
// settings-file keys and loading rules. One instance lives in the Context for the whole process.
#pragma once

#include <array>
#include <string>

namespace varnook {

class Host;
struct Context;

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

// Fills every stored field from the settings file at ctx.settings.SettingsPath (which the caller
// sets first, see SettingsFilePath), then sets the progress caption to "Varnook Progress".
// Never fails, never reports, never writes the file.
void LoadSettings(Context& ctx);

// Resets the three analysis parameters (PinkRef, RmsPercent, RmsDiff) and nothing else.
void SetDefaults(RunSettings& settings);

// Where the settings file lives: $VARNOOK_INI when set; else "<program folder>/<program
// name>.ini" when that file exists or its folder is writable; else
// "$XDG_CONFIG_HOME/varnook/varnook.ini" (XDG_CONFIG_HOME defaulting to ~/.config).
std::string SettingsFilePath(const std::string& programPath);

// A Jobs value as stored or typed: whole jobs from 1 to kMaxJobs, anything else 0 (as many as
// there are CPUs).
inline constexpr int kMaxJobs = 256;
int JobCount(double value);

// The key of an array element: IndexedKey(3, kWordTrimLevel) is "3Level".
std::string IndexedKey(int index, const char* word);

// The settings-file text of a field: switches "1" and "0"; numbers in general form with the
// locale's separator ("64,82" in a comma locale), so that LoadSettings reads them back.
std::string SettingText(bool value);
std::string SettingText(double value, char decimalSeparator);

}  // namespace varnook
