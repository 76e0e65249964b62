#include "settings/run_settings_file.h"

#include <cstdlib>
#include <filesystem>

#include "base/context.h"
#include "base/host.h"
#include "io/exist_file.h"
#include "settings/ini_file.h"
#include "settings/key_table.h"

namespace varnook {

namespace {

constexpr const char* kIniEnvironment = "VARNOOK_INI";
constexpr const char* kSettingsFileName = "varnook.ini";
constexpr const char* kSettingsFolderName = "varnook";
constexpr const char* kBuildFolderMarker = "varnook-build-folder";
constexpr const char* kSwitchOn = "1";
constexpr const char* kSwitchOff = "0";

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Sets the row's field to its default, which the row always takes.
void SetDefault(const KeyRow& row, RunSettings& settings, RunRequest& request)
{
    SetValue(row, row.Default, '.', Notation::Either, settings, request);
}

}  // namespace

void SetDefaults(RunSettings& settings)
{
    RunRequest unused;
    for (const KeyRow& row : KeyTable()) {
        if (row.Group == KeyGroup::Analysis) SetDefault(row, settings, unused);
    }
}

void LoadSettings(Context& ctx)
{
    RunSettings& s = ctx.settings;
    s.SettingsSection = kSettingsSection;
    // Every key below reads as missing then, so all of them get their defaults.
    if (const std::string problem = IniFileProblem(s.SettingsPath); !problem.empty())
        ctx.host.ErrorBox("The settings file " + s.SettingsPath + " " + problem + "; the defaults are used");

    for (const KeyRow& row : KeyTable()) {
        if (row.SettingsKey.empty()) continue;
        const std::string key(row.SettingsKey);
        std::string text = ReadIni(s.SettingsPath, s.SettingsSection, key, std::string(row.Default));
        // A switch is on only for the exact text "1"; a present key with any other text (even an
        // empty one) is off, while a missing key gives the default.
        if (row.Kind == KeyKind::Switch && text != kSwitchOn) text = kSwitchOff;
        // Either separator, whatever the locale: a file written under another locale still reads.
        const ValueFit fit = SetValue(row, text, ctx.decimalSeparator, Notation::Either, s, ctx.request);
        if (fit == ValueFit::Taken) continue;
        SetDefault(row, s, ctx.request);
        if (fit == ValueFit::OutOfRange) {
            const std::string shown = FieldText(row, ctx.decimalSeparator, s, ctx.request);
            ctx.host.LogLine(key + "=" + text + " in the settings file is out of range; the default " +
                             (shown.empty() ? "(none)" : shown) + " is used");
        }
    }

    ctx.host.SetCaption(kIdleCaption);
}

std::string SettingsFilePath(const std::string& programPath)
{
    const std::string fromEnvironment = Environment(kIniEnvironment);
    if (!fromEnvironment.empty()) return fromEnvironment;

    // A program in its build folder keeps its settings there, so that a developer's trials never
    // touch the settings of the Varnook they use. Nothing else tells the two apart: an installed
    // program's folder may be writable (a prefix under the home folder) and may even hold a
    // varnook.ini left by an older version, but it never holds the marker.
    const std::filesystem::path program(programPath);
    if (!program.stem().empty() && ExistFile((program.parent_path() / kBuildFolderMarker).string()))
        return (program.parent_path() / program.stem()).string() + ".ini";

    // Any installed program: the user's configuration folder, as the XDG rules place it.
    std::filesystem::path configHome = Environment("XDG_CONFIG_HOME");
    if (!configHome.is_absolute()) {
        const std::string home = Environment("HOME");
        configHome = std::filesystem::path(home.empty() ? "/" : home) / ".config";
    }
    return (configHome / kSettingsFolderName / kSettingsFileName).string();
}

}  // namespace varnook
