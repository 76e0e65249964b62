#include "control/command_line.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include "base/context.h"
#include "io/exist_file.h"
#include "settings/run_settings_file.h"
#include "io/numbers.h"
#include "io/text.h"

namespace varnook {

namespace {

constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";
constexpr char kKeyMark = '/';

enum class Key { Dest, Ana, Lev, Tr, Enc, Nl, Li, Lo, Ci, Co, Fi, Fo, Lame, Pr, Rp, Rd, Jobs, Skip, Report };

struct KeyName {
    std::string_view name;
    Key key;
};

// In the order they are tested. No name is a prefix of another, so a token matches at most one.
constexpr std::array<KeyName, 19> kKeys{{
    {"dest", Key::Dest}, {"ana", Key::Ana}, {"lev", Key::Lev}, {"tr", Key::Tr},
    {"enc", Key::Enc},   {"nl", Key::Nl},   {"li", Key::Li},   {"lo", Key::Lo},
    {"ci", Key::Ci},     {"co", Key::Co},   {"fi", Key::Fi},   {"fo", Key::Fo},
    {"lame", Key::Lame}, {"pr", Key::Pr},   {"rp", Key::Rp},   {"rd", Key::Rd},
    {"jobs", Key::Jobs}, {"skip", Key::Skip}, {"report", Key::Report},
}};

// "/ana1", "/NL", "/lame": a "/", no second "/", and a known key right after it. Anything else,
// "/srv/music/take.wav" included, is a plain word.
bool IsKeyArgument(std::string_view arg)
{
    if (arg.empty() || arg.front() != kKeyMark) return false;
    const std::string_view token = arg.substr(1);
    if (token.find(kKeyMark) != std::string_view::npos) return false;
    return std::any_of(kKeys.begin(), kKeys.end(),
                       [token](const KeyName& k) { return StartsWithNoCase(token, k.name); });
}

void ApplySwitch(bool& field, std::string_view value)
{
    if (value == "1") field = true;
    if (value == "0") field = false;
}

// "2,5" and "2.5" both set 2.5; "1.000,5" has two separators once normalised and changes nothing.
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
        if (arg == kHelpOption) {
            parsed.ShowHelp = true;
        } else if (arg == kVersionOption) {
            parsed.ShowVersion = true;
        } else if (IsKeyArgument(arg)) {
            keyArgs.push_back({std::string_view(arg).substr(1), {}});
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
        for (const KeyName& k : kKeys) {
            if (!StartsWithNoCase(arg.token, k.name)) continue;
            const std::string value = KeyValue(arg, k.name);
            if (!value.empty()) Apply(ctx, k.key, value);  // a key without a value does nothing
        }
    }
    return parsed;
}

}  // namespace varnook
