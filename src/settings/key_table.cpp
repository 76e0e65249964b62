#include "settings/key_table.h"

#include <algorithm>
#include <array>
#include <limits>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

#include "io/numbers.h"
#include "io/text.h"

namespace varnook {

namespace {

// Levels and thresholds in dB: far beyond anything 16 bits can tell apart, so only typing
// mistakes are refused.
constexpr double kMaxLevelDb = 200;
constexpr double kMaxLeadSeconds = 3600;
constexpr int kMaxJobs = 256;
constexpr NumberRange kLevelRange{-kMaxLevelDb, kMaxLevelDb};
// A negative lead counts as none; only a lead longer than an hour is a mistake.
constexpr NumberRange kLeadRange{std::numeric_limits<double>::lowest(), kMaxLeadSeconds};
// A percentile of 0 would take the quietest window; above 1 there is no window to take.
constexpr NumberRange kRmsPercentRange{0, 1, false};
constexpr NumberRange kRmsDiffRange{0, kMaxLevelDb};
// 0 asks for one job per online CPU.
constexpr NumberRange kJobsRange{0, kMaxJobs};
constexpr std::array<std::string_view, 2> kLoudnessModes{"rg1", "r128"};
static_assert(static_cast<size_t>(LoudnessMode::R128) == 1);
constexpr std::array<std::string_view, 2> kPeakModes{"gain", "limit"};
static_assert(static_cast<size_t>(PeakMode::Limit) == 1);
constexpr std::array<std::string_view, 3> kAlbumModes{"off", "folder", "tag"};
static_assert(static_cast<size_t>(AlbumMode::Tag) == 2);
// What each library takes: libFLAC's levels, opusenc's bitrates for two channels (libopus lowers
// a mono file's to what one channel takes), oggenc's qualities.
constexpr NumberRange kFlacLevelRange{0, 8};
constexpr NumberRange kOpusKbpsRange{6, 512};
constexpr NumberRange kVorbisQualityRange{-1, 10};

template <auto Member>
KeyField Setting(RunSettings& settings, RunRequest&)
{
    return &(settings.*Member);
}

template <auto Member, size_t Index>
KeyField Element(RunSettings& settings, RunRequest&)
{
    return &(settings.*Member)[Index];
}

template <auto Member>
KeyField Codec(RunSettings& settings, RunRequest&)
{
    return &(settings.Codec.*Member);
}

template <auto Member>
KeyField Request(RunSettings&, RunRequest& request)
{
    return &(request.*Member);
}

using enum KeyKind;
using enum KeyGroup;

// The older switches are on while their key is missing; SkipDone, which marks outputs, is off.
constexpr std::array kRows{
    KeyRow{.CommandKey = "ana", .SettingsKey = "Analyze", .Field = Setting<&RunSettings::Analyze>,
           .Kind = Switch, .Group = Steps, .Default = "1",
           .Help = "analyse the loudness and derive the recommended gain"},
    KeyRow{.CommandKey = "lev", .SettingsKey = "Level", .Field = Setting<&RunSettings::Amplify>,
           .Kind = Switch, .Group = Steps, .Default = "1",
           .Help = "amplify by the new level, plus the recommended gain if analysing"},
    KeyRow{.CommandKey = "tr", .SettingsKey = "Trim", .Field = Setting<&RunSettings::Trim>,
           .Kind = Switch, .Group = Steps, .Default = "1",
           .Help = "trim silence at start and end, fade, add lead silence"},
    KeyRow{.CommandKey = "enc", .SettingsKey = "Encode", .Field = Setting<&RunSettings::Encode>,
           .Kind = Switch, .Group = Steps, .Default = "1",
           .Help = "encode the result, to MP3 with lame or as /output says; off gives a WAV"},
    KeyRow{.CommandKey = "nl", .SettingsKey = "NewLevel", .Field = Setting<&RunSettings::NewLevel>,
           .Kind = Number, .Group = Amplify, .Default = "0",
           .Help = "new level in dB, relative to the recommended level (the file's own without analysis)",
           .Placeholder = "DB", .Range = kLevelRange},
    KeyRow{.CommandKey = "li", .SettingsKey = "0Lead", .Field = Element<&RunSettings::Lead, kLeadIn>,
           .Kind = Number, .Group = Trim, .Default = "0.2", .Help = "lead-in silence in seconds",
           .Placeholder = "SEC", .Range = kLeadRange},
    KeyRow{.CommandKey = "lo", .SettingsKey = "1Lead", .Field = Element<&RunSettings::Lead, kLeadOut>,
           .Kind = Number, .Group = Trim, .Default = "0.2", .Help = "lead-out silence in seconds",
           .Placeholder = "SEC", .Range = kLeadRange},
    KeyRow{.CommandKey = "ci", .SettingsKey = "0Level", .Field = Element<&RunSettings::TrimLevel, kCutIn>,
           .Kind = Number, .Group = Trim, .Default = "30", .Help = "cut-in threshold, dB below average",
           .Placeholder = "DB", .Range = kLevelRange},
    KeyRow{.CommandKey = "fi", .SettingsKey = "1Level", .Field = Element<&RunSettings::TrimLevel, kFadeIn>,
           .Kind = Number, .Group = Trim, .Default = "24", .Help = "fade-in threshold, dB below average",
           .Placeholder = "DB", .Range = kLevelRange},
    KeyRow{.CommandKey = "fo", .SettingsKey = "2Level", .Field = Element<&RunSettings::TrimLevel, kFadeOut>,
           .Kind = Number, .Group = Trim, .Default = "24", .Help = "fade-out threshold, dB below average",
           .Placeholder = "DB", .Range = kLevelRange},
    KeyRow{.CommandKey = "co", .SettingsKey = "3Level", .Field = Element<&RunSettings::TrimLevel, kCutOut>,
           .Kind = Number, .Group = Trim, .Default = "30", .Help = "cut-out threshold, dB below average",
           .Placeholder = "DB", .Range = kLevelRange},
    KeyRow{.CommandKey = "pr", .SettingsKey = "PinkRef", .Field = Setting<&RunSettings::PinkRef>,
           .Kind = Number, .Group = Analysis, .Default = "64.82", .Help = "pink noise reference level",
           .Placeholder = "DB", .Range = kLevelRange},
    KeyRow{.CommandKey = "rp", .SettingsKey = "RmsPercent", .Field = Setting<&RunSettings::RmsPercent>,
           .Kind = Number, .Group = Analysis, .Default = "0.95",
           .Help = "representative percentile", .Placeholder = "FRAC",
           .Range = kRmsPercentRange},
    KeyRow{.CommandKey = "rd", .SettingsKey = "RmsDiff", .Field = Setting<&RunSettings::RmsDiff>,
           .Kind = Number, .Group = Analysis, .Default = "30",
           .Help = "difference to silence", .Placeholder = "DB",
           .Range = kRmsDiffRange},
    KeyRow{.CommandKey = "mode", .SettingsKey = "Loudness", .Field = Setting<&RunSettings::Loudness>,
           .Kind = Choice, .Group = Loudness, .Default = "rg1",
           .Help = "loudness measure: rg1 the equal-loudness analysis; r128 the integrated loudness "
                   "(ITU-R BS.1770-4), levelled to /target",
           .Choices = kLoudnessModes},
    KeyRow{.CommandKey = "target", .SettingsKey = "Target", .Field = Setting<&RunSettings::Target>,
           .Kind = Number, .Group = Loudness, .Default = "-18", .Help = "the r128 target loudness",
           .Placeholder = "LUFS", .Range = kLevelRange},
    KeyRow{.CommandKey = "tp", .SettingsKey = "TruePeak", .Field = Setting<&RunSettings::TruePeak>,
           .Kind = Number, .Group = Loudness, .Default = "",
           .Help = "true-peak ceiling: the result's true peak, an encoded output's too, stays at or below it (see /peaks)",
           .Placeholder = "DBTP", .Range = kLevelRange},
    KeyRow{.CommandKey = "peaks", .SettingsKey = "Peaks", .Field = Setting<&RunSettings::Peaks>,
           .Kind = Choice, .Group = Loudness, .Default = "gain",
           .Help = "how the true-peak ceiling is kept: gain lowers the gain; limit applies the whole gain "
                   "and a look-ahead limiter holds the peaks at /tp (-1 dBTP without it)",
           .Choices = kPeakModes},
    KeyRow{.CommandKey = "lame", .SettingsKey = "Arguments", .Field = Setting<&RunSettings::Arguments>,
           .Kind = Text, .Group = Output, .Default = "-h",
           .Help = "extra lame arguments, up to the next key", .Placeholder = "ARGS"},
    KeyRow{.CommandKey = "keeptags", .SettingsKey = "KeepAllTags", .Field = Setting<&RunSettings::KeepAllTags>,
           .Kind = Switch, .Group = Output, .Default = "1",
           .Help = "carry every other tag frame and the cover art into the output"},
    KeyRow{.CommandKey = "dest", .SettingsKey = "", .Field = Request<&RunRequest::DestPath>,
           .Kind = Text, .Group = Output, .Default = "",
           .Help = "output folder, name and extension; empty parts come from the source",
           .Placeholder = "PATH", .Unquoted = true, .ShapesOutput = false},
    KeyRow{.CommandKey = "plot", .SettingsKey = "", .Field = Request<&RunRequest::PlotFolder>,
           .Kind = Text, .Group = Output, .Default = "",
           .Help = "write a 1200x300 PNG of each file's window loudness, thresholds and trim marks "
                   "to FOLDER, named after the file (FILE.wav.png)",
           .Placeholder = "FOLDER", .ShapesOutput = false},
    KeyRow{.CommandKey = "output", .SettingsKey = "Output", .Field = Setting<&RunSettings::Output>,
           .Kind = Choice, .Group = Output, .Default = "mp3",
           .Help = "what encoding gives: mp3 through lame, flac, opus or ogg (Vorbis) through their "
                   "libraries, wav as /enc 0; a /dest extension chooses for its file",
           .Choices = kOutputFormatNames},
    KeyRow{.CommandKey = "flaclevel", .SettingsKey = "FlacLevel", .Field = Codec<&CodecSettings::FlacLevel>,
           .Kind = Number, .Group = Output, .Default = "5",
           .Help = "FLAC compression level, 0 the fastest, 8 the smallest", .Placeholder = "N",
           .Range = kFlacLevelRange},
    KeyRow{.CommandKey = "kbps", .SettingsKey = "OpusBitrate", .Field = Codec<&CodecSettings::OpusKbps>,
           .Kind = Number, .Group = Output, .Default = "160", .Help = "Opus bitrate in kbit/s",
           .Placeholder = "KBPS", .Range = kOpusKbpsRange},
    KeyRow{.CommandKey = "quality", .SettingsKey = "VorbisQuality", .Field = Codec<&CodecSettings::VorbisQuality>,
           .Kind = Number, .Group = Output, .Default = "6", .Help = "Ogg Vorbis quality, as oggenc's -q",
           .Placeholder = "Q", .Range = kVorbisQualityRange},
    KeyRow{.CommandKey = "jobs", .SettingsKey = "Jobs", .Field = Setting<&RunSettings::Jobs>,
           .Kind = Number, .Group = Library, .Default = "0",
           .Help = "files processed at once, 0 one per CPU",
           .Placeholder = "N", .Range = kJobsRange, .ShapesOutput = false},
    KeyRow{.CommandKey = "skip", .SettingsKey = "SkipDone", .Field = Setting<&RunSettings::SkipDone>,
           .Kind = Switch, .Group = Library, .Default = "0",
           .Help = "pass over files whose output is up to date", .ShapesOutput = false},
    KeyRow{.CommandKey = "report", .SettingsKey = "", .Field = Request<&RunRequest::ReportPath>,
           .Kind = Text, .Group = Library, .Default = "",
           .Help = "append a row per file to PATH (.csv, or .jsonl for JSON lines)", .Placeholder = "PATH",
           .ShapesOutput = false},
    KeyRow{.CommandKey = "album", .SettingsKey = "Album", .Field = Setting<&RunSettings::Album>,
           .Kind = Choice, .Group = Library, .Default = "off",
           .Help = "level each album by one gain: off; folder, the sources of one folder; tag, the "
                   "same album and album artist",
           .Choices = kAlbumModes},
    // Which tags go over when an MP3 is encoded again.
    KeyRow{.CommandKey = "", .SettingsKey = "0ID3", .Field = Element<&RunSettings::KeepTag, kTagTitle>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the title over"},
    KeyRow{.CommandKey = "", .SettingsKey = "1ID3", .Field = Element<&RunSettings::KeepTag, kTagArtist>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the artist over"},
    KeyRow{.CommandKey = "", .SettingsKey = "2ID3", .Field = Element<&RunSettings::KeepTag, kTagAlbum>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the album over"},
    KeyRow{.CommandKey = "", .SettingsKey = "3ID3", .Field = Element<&RunSettings::KeepTag, kTagYear>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the year over"},
    KeyRow{.CommandKey = "", .SettingsKey = "4ID3", .Field = Element<&RunSettings::KeepTag, kTagTrack>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the track number over"},
    KeyRow{.CommandKey = "", .SettingsKey = "5ID3", .Field = Element<&RunSettings::KeepTag, kTagGenre>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the genre over"},
    KeyRow{.CommandKey = "", .SettingsKey = "6ID3", .Field = Element<&RunSettings::KeepTag, kTagComment>,
           .Kind = Switch, .Group = Tags, .Default = "1", .Help = "carry the comment over"},
};

constexpr bool IsLowerAscii(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// A key argument is matched by its beginning ("/ana1", "/nl-3"), so a key that began with
// another would never be reached, or would take the other's arguments: a new key name is never
// a prefix of an existing one and never starts with one.
constexpr bool NoCommandKeyStartsWithAnother(std::span<const KeyRow> rows)
{
    for (const KeyRow& a : rows) {
        for (const KeyRow& b : rows) {
            if (&a == &b || a.CommandKey.empty() || b.CommandKey.empty()) continue;
            if (b.CommandKey.starts_with(a.CommandKey)) return false;
        }
        if (!IsLowerAscii(a.CommandKey)) return false;
    }
    return true;
}

// The settings file matches keys without regard to case, so two rows must differ in more.
constexpr bool SettingsKeysAreDistinct(std::span<const KeyRow> rows)
{
    for (const KeyRow& a : rows) {
        for (const KeyRow& b : rows) {
            if (&a != &b && !a.SettingsKey.empty() && EqualsNoCase(a.SettingsKey, b.SettingsKey)) return false;
        }
    }
    return true;
}

static_assert(NoCommandKeyStartsWithAnother(kRows));
static_assert(SettingsKeysAreDistinct(kRows));

const void* Address(const KeyField& field)
{
    return std::visit([](auto* pointer) -> const void* { return pointer; }, field);
}

// A choice's field (an enum) as the index of its name, and set from one.
size_t ChoiceIndex(const KeyField& field)
{
    return std::visit([](auto* pointer) -> size_t {
        if constexpr (std::is_enum_v<std::remove_pointer_t<decltype(pointer)>>) return static_cast<size_t>(*pointer);
        return SIZE_MAX;
    }, field);
}

void SetChoice(const KeyField& field, size_t index)
{
    std::visit([index](auto* pointer) {
        using Value = std::remove_pointer_t<decltype(pointer)>;
        if constexpr (std::is_enum_v<Value>) *pointer = static_cast<Value>(index);
    }, field);
}

ValueFit SetNumber(const KeyRow& row, const KeyField& field, std::string_view text, char separator,
                   Notation notation)
{
    auto* ceiling = std::get_if<std::optional<double>*>(&field);
    if (ceiling && row.Default.empty() && TrimBlanks(text).empty()) {
        (*ceiling)->reset();
        return ValueFit::Taken;
    }
    const std::optional<double> value = ParseLocaleNumber(
        notation == Notation::Either ? NormalizeDecimal(text, separator) : std::string(text), separator);
    if (!value) return ValueFit::NotAValue;
    if (!row.Range.Contains(*value)) return ValueFit::OutOfRange;
    if (ceiling) {
        **ceiling = *value;
    } else if (auto* count = std::get_if<int*>(&field)) {
        // The fraction dropped. Whole jobs from 1 up; 0 (and what the range lets through below 1)
        // is one per CPU. No codec count's range reaches below 0.
        **count = *value >= 1 ? static_cast<int>(*value) : 0;
    } else {
        *std::get<double*>(field) = *value;
    }
    return ValueFit::Taken;
}

}  // namespace

std::span<const KeyRow> KeyTable()
{
    return kRows;
}

const KeyRow* RowOfField(RunSettings& settings, RunRequest& request, const void* field)
{
    for (const KeyRow& row : kRows) {
        if (Address(row.Field(settings, request)) == field) return &row;
    }
    return nullptr;
}

ValueFit SetValue(const KeyRow& row, std::string_view text, char decimalSeparator, Notation notation,
                  RunSettings& settings, RunRequest& request)
{
    const KeyField field = row.Field(settings, request);
    switch (row.Kind) {
    case Switch:
        if (text != "1" && text != "0") return ValueFit::NotAValue;
        *std::get<bool*>(field) = text == "1";
        return ValueFit::Taken;
    case Number: return SetNumber(row, field, text, decimalSeparator, notation);
    case Text: {
        std::string value(text);
        if (row.Unquoted) std::erase(value, '"');
        *std::get<std::string*>(field) = std::move(value);
        return ValueFit::Taken;
    }
    case Choice:
        for (size_t i = 0; i < row.Choices.size(); ++i) {
            if (!EqualsNoCase(text, row.Choices[i])) continue;
            SetChoice(field, i);
            return ValueFit::Taken;
        }
        return ValueFit::NotAValue;
    }
    throw std::logic_error("a key row of no kind");
}

ValueFit CheckValue(const KeyRow& row, std::string_view text, char decimalSeparator, Notation notation)
{
    RunSettings settings;
    RunRequest request;
    return SetValue(row, text, decimalSeparator, notation, settings, request);
}

std::string FieldText(const KeyRow& row, char decimalSeparator, RunSettings& settings, RunRequest& request)
{
    const KeyField field = row.Field(settings, request);
    if (auto* on = std::get_if<bool*>(&field)) return **on ? "1" : "0";
    if (auto* number = std::get_if<double*>(&field)) return FormatGeneral(**number, decimalSeparator);
    if (auto* count = std::get_if<int*>(&field)) return std::to_string(**count);
    if (auto* ceiling = std::get_if<std::optional<double>*>(&field))
        return **ceiling ? FormatGeneral(***ceiling, decimalSeparator) : std::string();
    if (auto* text = std::get_if<std::string*>(&field)) return **text;
    return std::string(row.Choices[ChoiceIndex(field)]);
}

std::string TakesText(const KeyRow& row, char decimalSeparator)
{
    switch (row.Kind) {
    case Switch: return "0 or 1";
    case Number: return "a number " + RangeText(row.Range, decimalSeparator);
    case Text: return "any text";
    case Choice: return ChoiceNames(row, " or ");
    }
    throw std::logic_error("a key row of no kind");
}

std::string ChoiceNames(const KeyRow& row, std::string_view between)
{
    std::string names;
    for (const std::string_view name : row.Choices) {
        if (!names.empty()) names += between;
        names += name;
    }
    return names;
}

std::string RangeText(const NumberRange& range, char decimalSeparator)
{
    const std::string high = "up to " + FormatGeneral(range.High, decimalSeparator);
    if (range.Low == std::numeric_limits<double>::lowest()) return high;
    const std::string low = FormatGeneral(range.Low, decimalSeparator);
    if (!range.LowIncluded) return "above " + low + " " + high;
    return "from " + low + " to " + FormatGeneral(range.High, decimalSeparator);
}

}  // namespace varnook
