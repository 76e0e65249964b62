#include "cli/start_up.h"

#include <filesystem>
#include <system_error>

#include "base/context.h"
#include "formats/formats.h"
#include "io/numbers.h"
#include "base/run_settings.h"
#include "settings/run_settings_file.h"

namespace varnook {

namespace {

// The usage's lines are this long at most, to fit a terminal of 100 columns.
constexpr size_t kUsageWidth = 95;

}  // namespace

std::string UsageText()
{
    return R"(Usage: varnook [FILE...] [/KEY VALUE...]
       varnook --help | --version

Brings music files to an even loudness: analyse, amplify without clipping, trim silence with
fades and lead silence, encode to MP3. A 16-bit PCM WAV is worked on as it is, an MP3 is
decoded by lame, any other source is converted to a 16-bit WAV first.
)" + SourceFormatsSentence(kUsageWidth) + R"(
With no FILE the main window opens. Each FILE is processed in turn (batch mode), with the
options of the settings file overridden by the keys below for this run only.

Keys (case does not matter; the value may follow the key directly or as the next words):
  /ana 1|0     analyse the loudness and derive the recommended gain
  /lev 1|0     amplify (by the new level, plus the recommended gain when analysing)
  /tr 1|0      trim silence at start and end, fade, add lead silence
  /enc 1|0     encode the result to MP3 with lame
  /nl DB       new level in dB, relative to the recommended level (to the file's own level
               without analysis)
  /li SEC      lead-in silence in seconds         /lo SEC   lead-out silence in seconds
  /ci DB       cut-in threshold, dB below average  /fi DB    fade-in threshold
  /co DB       cut-out threshold                   /fo DB    fade-out threshold
  /pr DB       pink noise reference level          /rp FRAC  representative percentile (0 to 1)
  /rd DB       difference to silence
  /mode rg1|r128  loudness measure: rg1 (default) the equal-loudness analysis; r128 the
               integrated loudness (ITU-R BS.1770-4), levelled to /target
  /target LUFS the r128 target loudness (default -18)
  /tp DBTP     true-peak ceiling: the gain is lowered so the result's true peak stays at or
               below it (default: no ceiling)
  /lame ARGS   extra lame arguments, up to the next key (default -h)
  /keeptags 1|0  carry every other tag frame and the cover art into the new MP3 (default 1)
  /dest PATH   output folder, name and extension; empty parts come from the source. An
               extension .mp3 turns encoding on, any other turns it off. Give a folder with
               a trailing "/" as its own word: /dest /srv/out/
  /plot FOLDER write a 1200x300 PNG of each file's window loudness, thresholds and trim
               marks to FOLDER, named after the file (FILE.wav.png); needs no display
  /jobs N      files processed at once (default: one per CPU; 1 runs them in turn)
  /skip 1|0    pass over files whose output is up to date (default 0)
  /report PATH append a row per file to PATH (.csv, or .jsonl for JSON lines)
A FILE may be a folder: its sources are taken, subfolders included, in natural order; with
/dest naming a folder the outputs mirror the folder tree below it.
Numbers may be written with "," or "." as the decimal separator. A value a key does not take
(a switch other than 0 or 1, a level or threshold beyond 200 dB either way, a lead over 3600 s,
/rp outside (0, 1], a negative /rd) is a usage error.

Example:
  varnook take1.wav /ana1 /lev1 /nl -1,5 /tr0 /lame -b 192 /dest /srv/out/.mp3
  analyses take1.wav, amplifies it to 1.5 dB below the recommended level, does not trim,
  and encodes it to /srv/out/take1.mp3 with "-b 192".

Exit status: 0 every file went through, 1 a file failed or was missing, 2 usage error or the
mode is not available (no display for the window).

Settings file: $VARNOOK_INI when set; else varnook.ini beside the program when it exists or
that folder is writable; else $XDG_CONFIG_HOME/varnook/varnook.ini (~/.config/varnook/varnook.ini).
The command line never writes it.
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
    return ParseCommandLine(ctx, args);
}

}  // namespace varnook
