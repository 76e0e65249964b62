#include "cli/start_up.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/context.h"
#include "formats/formats.h"
#include "io/numbers.h"
#include "library/run_places.h"
#include "settings/key_table.h"
#include "settings/run_settings_file.h"

namespace varnook {

namespace {

// As wide as the prose around the keys.
constexpr size_t kUsageWidth = 95;
// Where the help of a key starts; a key with a longer value name has its help on the next line.
constexpr size_t kHelpColumn = 18;

constexpr std::pair<KeyGroup, std::string_view> kGroupTitles[] = {
    {KeyGroup::Steps, "Steps"},     {KeyGroup::Amplify, "Amplify"},   {KeyGroup::Trim, "Trim"},
    {KeyGroup::Analysis, "Analysis"}, {KeyGroup::Loudness, "Loudness"}, {KeyGroup::Output, "Output"},
    {KeyGroup::Library, "Library runs"}};

std::string_view GroupTitle(KeyGroup group)
{
    for (const auto& [titled, title] : kGroupTitles) {
        if (titled == group) return title;
    }
    return {};
}

// What --help shows for the value: "1|0", "rg1|r128", or the row's own word ("DB").
std::string ValueWord(const KeyRow& row)
{
    if (row.Kind == KeyKind::Switch) return "1|0";
    return row.Kind == KeyKind::Choice ? ChoiceNames(row, "|") : std::string(row.Placeholder);
}

// The help of a row with what it takes and its default: "... (from -200 to 200; default 0)".
std::string HelpLine(const KeyRow& row)
{
    const std::string help(row.Help);
    const std::string fallback = row.Default.empty() ? "none" : std::string(row.Default);
    if (row.Kind == KeyKind::Number) return help + " (" + RangeText(row.Range, '.') + "; default " + fallback + ")";
    return row.Default.empty() ? help : help + " (default " + fallback + ")";
}

// `head` in the key column and `text` wrapped at blanks into the help column.
std::string KeyLines(const std::string& head, std::string_view text)
{
    std::string lines = head;
    size_t column = head.size();
    if (column >= kHelpColumn) {
        lines += '\n';
        column = 0;
    }
    while (!text.empty()) {
        const size_t end = std::min(text.find(' '), text.size());
        const std::string_view word = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (column > kHelpColumn && column + 1 + word.size() > kUsageWidth) {
            lines += '\n';
            column = 0;
        }
        const size_t gap = column < kHelpColumn ? kHelpColumn - column : 1;
        lines.append(gap, ' ').append(word);
        column += gap + word.size();
    }
    return lines + '\n';
}

// Every command-line key of the key table, under its group's title.
std::string KeyList()
{
    std::string list;
    std::optional<KeyGroup> group;
    for (const KeyRow& row : KeyTable()) {
        if (row.CommandKey.empty()) continue;
        if (row.Group != group) list += std::string(GroupTitle(row.Group)) + ":\n";
        group = row.Group;
        list += KeyLines("  /" + std::string(row.CommandKey) + " " + ValueWord(row), HelpLine(row));
    }
    return list;
}

}  // namespace

std::string UsageText()
{
    return R"(Usage: varnook [FILE...] [/KEY VALUE...]
       varnook --open [FILE...] [/KEY VALUE...]
       varnook --help | --version

Brings music files to an even loudness: analyse, amplify without clipping, trim silence with
fades and lead silence, encode to MP3 (or FLAC, Opus, Ogg Vorbis). A 16-bit PCM WAV is worked
on as it is, an MP3 is decoded by lame, any other source is converted to a 16-bit WAV first.
)" + SourceFormatsSentence(kUsageWidth) + R"(
With no FILE the main window opens. Each FILE is processed in turn (batch mode), with the
options of the settings file overridden by the keys below for this run only. --open opens the
main window with the FILEs in its list instead, to be processed when Go! is pressed.

Keys (case does not matter; the value may follow the key directly or as the next words):
)" + KeyList() + R"(
A FILE may be a folder: its sources are taken, subfolders included, in natural order; with
/dest naming a folder the outputs mirror the folder tree below it.
Numbers may be written with "," or "." as the decimal separator. A value a key does not take
(a switch other than 0 or 1, a number outside its range, a name not offered) is a usage error.
/dest: its extension chooses the format (.mp3, .wav, .flac, .opus, .ogg; any other is a
usage error); a missing folder is made. Give a folder with a trailing "/" as its own word:
/dest /srv/out/. /plot needs no display.

Example:
  varnook take1.wav /ana1 /lev1 /nl -1,5 /tr0 /lame -b 192 /dest /srv/out/.mp3
  analyses take1.wav, amplifies it to 1.5 dB below the recommended level, does not trim,
  and encodes it to /srv/out/take1.mp3 with "-b 192".

Exit status: 0 every file went through, 1 a file failed or was missing, 2 usage error or the
mode is not available (no display for the window).

Settings file: $VARNOOK_INI when set; else $XDG_CONFIG_HOME/varnook/varnook.ini
(~/.config/varnook/varnook.ini); a program run from its build folder keeps varnook.ini beside
itself. The command line never writes it.
)";
}

std::string ProgramFilePath(const char* argv0)
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self.string();
    const std::filesystem::path fallback = std::filesystem::absolute(argv0 ? argv0 : "varnook", ec);
    return ec ? std::string(argv0 ? argv0 : "varnook") : fallback.lexically_normal().string();
}

ParsedCommandLine StartUp(Context& ctx, const std::vector<std::string>& args)
{
    ctx.request = RunRequest{};
    ctx.decimalSeparator = FindDecimalSeparator();
    ctx.settings.SettingsPath = SettingsFilePath(ctx.programPath);
    LoadSettings(ctx);
    ParsedCommandLine parsed = ParseCommandLine(ctx, args);
    const bool batch = !ctx.request.SourcePath.empty() && !parsed.ShowHelp && !parsed.ShowVersion;
    if (batch && parsed.UsageError.empty()) parsed.UsageError = PrepareRunPlaces(ctx.request, parsed.Sources);
    return parsed;
}

}  // namespace varnook
