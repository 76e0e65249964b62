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
// Never fails, never reports, never writes the file.
void LoadSettings(Context& ctx);

// Resets the three analysis parameters (PinkRef, RmsPercent, RmsDiff) and nothing else.
void SetDefaults(RunSettings& settings);

}  // namespace varnook
