#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include "base/context.h"
#include "io/exist_file.h"
#include "settings/run_settings_file.h"
#include "io/numbers.h"
#include "settings/run_settings_file.h"
#include "io/text.h"

namespace varnook {

namespace {

constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";
constexpr char kKeyMark = '/';

// 0 asks for one job per online CPU.
constexpr NumberRange kJobsRange{0, kMaxJobs};

enum class Key { Dest, Ana, Lev, Tr, Enc, Nl, Li, Lo, Ci, Co, Fi, Fo, Lame, Pr, Rp, Rd, Plot, KeepTags, Mode, Target, Tp, Jobs, Skip, Report };

// What a key's value must be. A value of the wrong kind, or a number outside the range, is a
// usage error: a mistyped value silently left out would run the batch with settings nobody chose.
enum class ValueKind {
    Switch,  // "0" or "1"
    Number,  // a number in either notation, within `range`
    Text,    // anything, taken as it stands (encoder arguments, a path)
    Loudness,  // a loudness mode name: "rg1" or "r128"
};

struct KeyName {
    std::string_view name;
    Key key;
    ValueKind kind;
    const NumberRange* range = nullptr;  // for ValueKind::Number
};

// In the order they are tested. No name is a prefix of another, so a token matches at most one.
constexpr std::array<KeyName, 24> kKeys{{
    {"dest", Key::Dest, ValueKind::Text},
    {"ana", Key::Ana, ValueKind::Switch},
    {"lev", Key::Lev, ValueKind::Switch},
    {"tr", Key::Tr, ValueKind::Switch},
    {"enc", Key::Enc, ValueKind::Switch},
    {"nl", Key::Nl, ValueKind::Number, &kLevelRange},
    {"li", Key::Li, ValueKind::Number, &kLeadRange},
    {"lo", Key::Lo, ValueKind::Number, &kLeadRange},
    {"ci", Key::Ci, ValueKind::Number, &kLevelRange},
    {"co", Key::Co, ValueKind::Number, &kLevelRange},
    {"fi", Key::Fi, ValueKind::Number, &kLevelRange},
    {"fo", Key::Fo, ValueKind::Number, &kLevelRange},
    {"lame", Key::Lame, ValueKind::Text},
    {"pr", Key::Pr, ValueKind::Number, &kLevelRange},
    {"rp", Key::Rp, ValueKind::Number, &kRmsPercentRange},
    {"rd", Key::Rd, ValueKind::Number, &kRmsDiffRange},
    {"plot", Key::Plot, ValueKind::Text},
    {"keeptags", Key::KeepTags, ValueKind::Switch},
    {"mode", Key::Mode, ValueKind::Loudness},
    {"target", Key::Target, ValueKind::Number, &kLevelRange},
    {"tp", Key::Tp, ValueKind::Number, &kLevelRange},
    {"jobs", Key::Jobs, ValueKind::Number, &kJobsRange},
    {"skip", Key::Skip, ValueKind::Switch},
    {"report", Key::Report, ValueKind::Text},
}};

// The key a token ("ana1", "NL", "lame") starts with, or none.
const KeyName* FindKey(std::string_view token)
{
    for (const KeyName& k : kKeys) {
        if (StartsWithNoCase(token, k.name)) return &k;
    }
    return nullptr;
}

// "/ana1", "/NL", "/lame": a "/", no second "/", and a known key right after it. Anything else,
// "/srv/music/take.wav" included, is a plain word.
const KeyName* KeyOfArgument(std::string_view arg)
{
    if (arg.empty() || arg.front() != kKeyMark) return nullptr;
    const std::string_view token = arg.substr(1);
    if (token.find(kKeyMark) != std::string_view::npos) return nullptr;
    return FindKey(token);
}

// The usage error for a value the key does not take ("/enc takes 0 or 1, not \"ode\""), or
// the empty text.
std::string ValueError(const KeyName& k, std::string_view value, char decimalSeparator)
{
    std::string accepts;
    switch (k.kind) {
    case ValueKind::Switch:
        if (value == "0" || value == "1") return {};
        accepts = "0 or 1";
        break;
    case ValueKind::Number: {
        const auto number = ParseLocaleNumber(NormalizeDecimal(value, decimalSeparator), decimalSeparator);
        if (number && k.range->Contains(*number)) return {};
        accepts = "a number " + RangeText(*k.range, decimalSeparator);
        break;
    }
    case ValueKind::Text: return {};
    case ValueKind::Loudness:
        if (ParseLoudnessMode(value)) return {};
        accepts = "rg1 or r128";
        break;
    }
    return "/" + std::string(k.name) + " takes " + accepts + ", not \"" + std::string(value) + "\"";
}

void ApplySwitch(bool& field, std::string_view value)
{
    if (value == "1") field = true;
    if (value == "0") field = false;
}

// "2,5" and "2.5" both set 2.5; "1.000,5" has two separators once normalised and is refused by
// ValueError before it comes here.
void ApplyNumber(double& field, std::string_view value, char decimalSeparator)
{
    if (const auto number = ParseLocaleNumber(NormalizeDecimal(value, decimalSeparator), decimalSeparator))
        field = *number;
}

void Apply(Context& ctx, Key key, std::string_view value)
{
    RunSettings& s = ctx.settings;
    const char sep = ctx.decimalSeparator;
    switch (key) {
    case Key::Dest: {
        std::string dest(value);
        dest.erase(std::remove(dest.begin(), dest.end(), '"'), dest.end());
        ctx.request.DestPath = dest;
        break;
    }
    case Key::Ana: ApplySwitch(s.Analyze, value); break;
    case Key::Lev: ApplySwitch(s.Amplify, value); break;
    case Key::Tr: ApplySwitch(s.Trim, value); break;
    case Key::Enc: ApplySwitch(s.Encode, value); break;
    case Key::Nl: ApplyNumber(s.NewLevel, value, sep); break;
    case Key::Li: ApplyNumber(s.Lead[kLeadIn], value, sep); break;
    case Key::Lo: ApplyNumber(s.Lead[kLeadOut], value, sep); break;
    case Key::Ci: ApplyNumber(s.TrimLevel[kCutIn], value, sep); break;
    case Key::Co: ApplyNumber(s.TrimLevel[kCutOut], value, sep); break;
    case Key::Fi: ApplyNumber(s.TrimLevel[kFadeIn], value, sep); break;
    case Key::Fo: ApplyNumber(s.TrimLevel[kFadeOut], value, sep); break;
    case Key::Lame: s.Arguments = std::string(value); break;
    case Key::Pr: ApplyNumber(s.PinkRef, value, sep); break;
    case Key::Rp: ApplyNumber(s.RmsPercent, value, sep); break;
    case Key::Rd: ApplyNumber(s.RmsDiff, value, sep); break;
    case Key::Plot: ctx.request.PlotFolder = std::string(value); break;
    case Key::KeepTags: ApplySwitch(s.KeepAllTags, value); break;
    case Key::Mode: s.Loudness = ParseLoudnessMode(value).value_or(s.Loudness); break;
    case Key::Target: ApplyNumber(s.Target, value, sep); break;
    case Key::Tp:
        if (const auto ceiling = ParseLocaleNumber(NormalizeDecimal(value, sep), sep)) s.TruePeak = *ceiling;
        break;
    case Key::Jobs: {
        double jobs = -1;
        ApplyNumber(jobs, value, sep);
        if (jobs >= 0) s.Jobs = JobCount(jobs);
        break;
    }
    case Key::Skip: ApplySwitch(s.SkipDone, value); break;
    case Key::Report: ctx.request.ReportPath = std::string(value); break;
    }
}

// A key argument and the words that follow it up to the next key argument.
struct KeyArgument {
    const KeyName* key;
    std::string_view token;  // the text after "/"
    std::vector<std::string_view> words;
};

// The value written with the key ("/nl-1,5"), or else the words after it joined by one blank
// ("/nl -1,5", "/lame -b 192").
std::string KeyValue(const KeyArgument& arg, std::string_view keyName)
{
    const std::string_view attached = TrimBlanks(arg.token.substr(keyName.size()));
    if (!attached.empty()) return std::string(attached);
    std::string joined;
    for (const std::string_view word : arg.words) {
        if (!joined.empty()) joined += ' ';
        joined += word;
    }
    return std::string(TrimBlanks(joined));
}

// The path under which the pipeline takes the source apart: absolute, without "." and "..".
std::string AbsoluteSource(std::string_view word)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(word), ec);
    if (ec) return std::string(word);
    return absolute.lexically_normal().string();
}

}  // namespace

ParsedCommandLine ParseCommandLine(Context& ctx, const std::vector<std::string>& args)
{
    ParsedCommandLine parsed;
    std::vector<KeyArgument> keyArgs;
    for (const std::string& arg : args) {
        // "/lame --help" hands lame its own option; elsewhere the option asks for our usage.
        const bool textFollows = !keyArgs.empty() && keyArgs.back().key->kind == ValueKind::Text &&
                                 keyArgs.back().token.size() == keyArgs.back().key->name.size();
        const KeyName* key = KeyOfArgument(arg);
        if (arg == kHelpOption && !textFollows) {
            parsed.ShowHelp = true;
        } else if (arg == kVersionOption && !textFollows) {
            parsed.ShowVersion = true;
        } else if (key) {
            keyArgs.push_back({key, std::string_view(arg).substr(1), {}});
        } else if (!keyArgs.empty()) {
            keyArgs.back().words.push_back(arg);
        } else if (!TrimBlanks(arg).empty()) {
            parsed.Sources.push_back(AbsoluteSource(arg));
        }
    }

    ctx.request.SourcePath.clear();
    for (const std::string& source : parsed.Sources) {
        if (!ExistFile(source)) {
            parsed.MissingSources.push_back(source);
        } else if (ctx.request.SourcePath.empty()) {
            ctx.request.SourcePath = source;
        }
    }

    for (const KeyArgument& arg : keyArgs) {
        const std::string value = KeyValue(arg, arg.key->name);
        if (value.empty()) continue;  // a key without a value does nothing
        std::string error = ValueError(*arg.key, value, ctx.decimalSeparator);
        if (error.empty()) Apply(ctx, arg.key->key, value);
        else if (parsed.UsageError.empty()) parsed.UsageError = std::move(error);
    }
    return parsed;
}

}  // namespace varnook
