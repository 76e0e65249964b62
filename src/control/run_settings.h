// The Run settings: every option that steers the processing of a file, with their defaults,
// settings-file keys and loading rules. One instance lives in the Context for the whole process.
#pragma once

#include <array>
#include <limits>
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

// "from -200 to 200", "above 0 up to 1", "up to 3600": what a range accepts, for messages.
std::string RangeText(const NumberRange& range, char decimalSeparator);

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

    std::string SettingsPath;
    std::string SettingsSection;
};

// Fills every stored field from the settings file at ctx.settings.SettingsPath (which the caller
// sets first, see SettingsFilePath), then sets the progress caption to "Varnook Progress".
// A number outside its range gets its default and a log line; a settings file that is no
// regular file or too large is not read, with an error box saying so. Never fails, never
// writes the file.
void LoadSettings(Context& ctx);

// Resets the three analysis parameters (PinkRef, RmsPercent, RmsDiff) and nothing else.
void SetDefaults(RunSettings& settings);

// Where the settings file lives: $VARNOOK_INI when set; else "<program folder>/<program
// name>.ini" when that file exists or its folder is writable; else
// "$XDG_CONFIG_HOME/varnook/varnook.ini" (XDG_CONFIG_HOME defaulting to ~/.config).
std::string SettingsFilePath(const std::string& programPath);

// The key of an array element: IndexedKey(3, kWordTrimLevel) is "3Level".
std::string IndexedKey(int index, const char* word);

// The settings-file text of a field: switches "1" and "0"; numbers in general form with the
// locale's separator ("64,82" in a comma locale), so that LoadSettings reads them back.
std::string SettingText(bool value);
std::string SettingText(double value, char decimalSeparator);

}  // namespace varnook
