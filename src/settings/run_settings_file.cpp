#include "settings/run_settings_file.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <tuple>
#include <filesystem>
#include <string_view>

#include "base/context.h"
#include "io/exist_file.h"
#include "base/host.h"
#include "io/numbers.h"
#include "io/text.h"
#include "settings/ini_file.h"

namespace varnook {

namespace {

constexpr const char* kIniEnvironment = "VARNOOK_INI";
constexpr const char* kSettingsFileName = "varnook.ini";
constexpr const char* kSettingsFolderName = "varnook";
constexpr const char* kSwitchOn = "1";
constexpr const char* kSwitchOff = "0";
constexpr const char* kDefaultArguments = "-h";
constexpr const char* kModeRg1 = "rg1";
constexpr const char* kModeR128 = "r128";
constexpr double kDefaultLead = 0.2;
constexpr std::array<double, 4> kDefaultTrimLevels{30, 24, 24, 30};
static_assert(kDefaultTrimLevels.size() == std::tuple_size_v<decltype(RunSettings::TrimLevel)>);

// Reads the settings file of ctx; a missing key gives `defaultText`.
class SettingsReader {
public:
    explicit SettingsReader(Context& ctx)
        : settings_(ctx.settings), host_(ctx.host), separator_(ctx.decimalSeparator)
    {
    }

    std::string Text(const std::string& key, const std::string& defaultText) const
    {
        return ReadIni(settings_.SettingsPath, settings_.SettingsSection, key, defaultText);
    }

    // A switch is on only for the exact text "1"; a present key with any other text (even an
    // empty one) is off, while a missing key keeps the switch on.
    bool Switch(const std::string& key) const { return Text(key, kSwitchOn) == kSwitchOn; }

    // The stored text with either separator made the locale's; when that is no number, the
    // default text, which is always one.
    // A number outside `range` gives the default as well, and says so in the log.
    double Number(const std::string& key, double defaultValue, const NumberRange& range) const
    {
        const std::string defaultText = FormatGeneral(defaultValue, separator_);
        const std::string text = Text(key, defaultText);
        const auto value = ParseLocaleNumber(NormalizeDecimal(text, separator_), separator_);
        if (value && range.Contains(*value)) return *value;
        if (value) {
            host_.LogLine(key + "=" + text + " in the settings file is out of range; the default " +
                          defaultText + " is used");
        }
        return ParseLocaleNumber(defaultText, separator_).value_or(defaultValue);
    }

private:
    const RunSettings& settings_;
    Host& host_;
    char separator_;
};

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

void SetDefaults(RunSettings& settings)
{
    settings.PinkRef = kDefaultPinkRef;
    settings.RmsPercent = kDefaultRmsPercent;
    settings.RmsDiff = kDefaultRmsDiff;
}

void LoadSettings(Context& ctx)
{
    RunSettings& s = ctx.settings;
    s.SettingsSection = kSettingsSection;
    // Every key below reads as missing then, so all of them get their defaults.
    if (const std::string problem = IniFileProblem(s.SettingsPath); !problem.empty())
        ctx.host.ErrorBox("The settings file " + s.SettingsPath + " " + problem + "; the defaults are used");
    const SettingsReader read(ctx);

    s.Analyze = read.Switch(kKeyAnalyze);
    s.Amplify = read.Switch(kKeyAmplify);
    s.Trim = read.Switch(kKeyTrim);
    s.Encode = read.Switch(kKeyEncode);
    for (size_t i = 0; i < s.KeepTag.size(); ++i) s.KeepTag[i] = read.Switch(IndexedKey(static_cast<int>(i), kWordKeepTag));
    s.KeepAllTags = read.Switch(kKeyKeepAllTags);

    s.NewLevel = read.Number(kKeyNewLevel, 0, kLevelRange);
    for (size_t i = 0; i < s.Lead.size(); ++i)
        s.Lead[i] = read.Number(IndexedKey(static_cast<int>(i), kWordLead), kDefaultLead, kLeadRange);
    for (size_t i = 0; i < s.TrimLevel.size(); ++i)
        s.TrimLevel[i] = read.Number(IndexedKey(static_cast<int>(i), kWordTrimLevel), kDefaultTrimLevels[i], kLevelRange);
    // Taken as stored: an empty value means "no extra encoder arguments", not the default.
    s.Arguments = read.Text(kKeyArguments, kDefaultArguments);

    SetDefaults(s);
    s.PinkRef = read.Number(kKeyPinkRef, s.PinkRef, kLevelRange);
    s.RmsPercent = read.Number(kKeyRmsPercent, s.RmsPercent, kRmsPercentRange);
    s.RmsDiff = read.Number(kKeyRmsDiff, s.RmsDiff, kRmsDiffRange);

    s.Loudness = ParseLoudnessMode(read.Text(kKeyLoudness, kModeRg1)).value_or(LoudnessMode::Rg1);
    s.Target = read.Number(kKeyTarget, kDefaultTarget, kLevelRange);
    // Empty (or no number) is no ceiling, the default.
    s.TruePeak = ParseLocaleNumber(NormalizeDecimal(read.Text(kKeyTruePeak, ""), ctx.decimalSeparator),
                                   ctx.decimalSeparator);
    s.Jobs = JobCount(read.Number(kKeyJobs, 0, NumberRange{0, kMaxJobs}));
    // Off unless stored as on: unlike the older switches, a missing key leaves it off.
    s.SkipDone = read.Text(kKeySkipDone, kSwitchOff) == kSwitchOn;

    ctx.host.SetCaption(kIdleCaption);
}

std::optional<LoudnessMode> ParseLoudnessMode(std::string_view text)
{
    if (EqualsNoCase(text, kModeRg1)) return LoudnessMode::Rg1;
    if (EqualsNoCase(text, kModeR128)) return LoudnessMode::R128;
    return std::nullopt;
}

std::string SettingsFilePath(const std::string& programPath)
{
    const std::string fromEnvironment = Environment(kIniEnvironment);
    if (!fromEnvironment.empty()) return fromEnvironment;

    const std::filesystem::path program(programPath);
    const std::filesystem::path folder = program.parent_path();
    if (!program.stem().empty()) {
        const std::string beside = (folder / program.stem()).string() + ".ini";
        const std::string folderText = folder.empty() ? std::string(".") : folder.string();
        if (ExistFile(beside) || ::access(folderText.c_str(), W_OK) == 0) return beside;
    }

    // An installed program's folder (/usr/bin) is not the user's to write: use the user's
    // configuration folder, as the XDG rules place it.
    std::filesystem::path configHome = Environment("XDG_CONFIG_HOME");
    if (!configHome.is_absolute()) {
        const std::string home = Environment("HOME");
        configHome = std::filesystem::path(home.empty() ? "/" : home) / ".config";
    }
    return (configHome / kSettingsFolderName / kSettingsFileName).string();
}

std::string RangeText(const NumberRange& range, char decimalSeparator)
{
    const std::string high = "up to " + FormatGeneral(range.High, decimalSeparator);
    if (range.Low == std::numeric_limits<double>::lowest()) return high;
    const std::string low = FormatGeneral(range.Low, decimalSeparator);
    if (!range.LowIncluded) return "above " + low + " " + high;
    return "from " + low + " to " + FormatGeneral(range.High, decimalSeparator);
}

int JobCount(double value)
{
    if (!(value >= 1)) return 0;
    return value > kMaxJobs ? kMaxJobs : static_cast<int>(value);
}

std::string IndexedKey(int index, const char* word)
{
    return std::to_string(index) + word;
}

std::string SettingText(bool value)
{
    return value ? kSwitchOn : kSwitchOff;
}

std::string SettingText(double value, char decimalSeparator)
{
    return FormatGeneral(value, decimalSeparator);
}

std::string SettingText(LoudnessMode mode)
{
    return mode == LoudnessMode::R128 ? kModeR128 : kModeRg1;
}

std::string SettingText(const std::optional<double>& ceiling, char decimalSeparator)
{
    return ceiling ? FormatGeneral(*ceiling, decimalSeparator) : std::string();
}

}  // namespace varnook
