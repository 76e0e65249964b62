#include "cli/command_line.h"

#include <string_view>

#include "base/context.h"
#include "io/exist_file.h"
#include "io/paths.h"
#include "io/text.h"
#include "settings/key_table.h"

namespace varnook {

namespace {

constexpr std::string_view kHelpOption = "--help";
constexpr std::string_view kVersionOption = "--version";
constexpr std::string_view kOpenOption = "--open";
constexpr char kKeyMark = '/';

// The row whose command-line key a token ("ana1", "NL", "lame") starts with, or none. No key is a
// prefix of another, so at most one matches.
const KeyRow* FindKey(std::string_view token)
{
    for (const KeyRow& row : KeyTable()) {
        if (!row.CommandKey.empty() && StartsWithNoCase(token, row.CommandKey)) return &row;
    }
    return nullptr;
}

// "/ana1", "/NL", "/lame": a "/", no second "/", and a known key right after it. Anything else,
// "/srv/music/take.wav" included, is a plain word.
const KeyRow* KeyOfArgument(std::string_view arg)
{
    if (arg.empty() || arg.front() != kKeyMark) return nullptr;
    const std::string_view token = arg.substr(1);
    if (token.find(kKeyMark) != std::string_view::npos) return nullptr;
    return FindKey(token);
}

// A key argument and the words that follow it up to the next key argument.
struct KeyArgument {
    const KeyRow* key;
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

}  // namespace

ParsedCommandLine ParseCommandLine(Context& ctx, const std::vector<std::string>& args)
{
    ParsedCommandLine parsed;
    std::vector<KeyArgument> keyArgs;
    for (const std::string& arg : args) {
        // "/lame --help" hands lame its own option; elsewhere the option asks for our usage.
        const bool textFollows = !keyArgs.empty() && keyArgs.back().key->Kind == KeyKind::Text &&
                                 keyArgs.back().token.size() == keyArgs.back().key->CommandKey.size();
        const KeyRow* key = KeyOfArgument(arg);
        if (arg == kHelpOption && !textFollows) {
            parsed.ShowHelp = true;
        } else if (arg == kVersionOption && !textFollows) {
            parsed.ShowVersion = true;
        } else if (arg == kOpenOption && !textFollows) {
            parsed.OpenInWindow = true;
        } else if (key) {
            keyArgs.push_back({key, std::string_view(arg).substr(1), {}});
        } else if (!keyArgs.empty()) {
            keyArgs.back().words.push_back(arg);
        } else if (!TrimBlanks(arg).empty()) {
            // The path under which the pipeline takes the source apart.
            parsed.Sources.push_back(AbsolutePath(std::string(arg)));
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
        const std::string value = KeyValue(arg, arg.key->CommandKey);
        if (value.empty()) continue;  // a key without a value does nothing
        // A value of the wrong kind, or a number outside the range, is a usage error: a mistyped
        // value silently left out would run the batch with settings nobody chose.
        if (SetValue(*arg.key, value, ctx.decimalSeparator, Notation::Either, ctx.settings, ctx.request) !=
                ValueFit::Taken &&
            parsed.UsageError.empty()) {
            parsed.UsageError = "/" + std::string(arg.key->CommandKey) + " takes " +
                                TakesText(*arg.key, ctx.decimalSeparator) + ", not \"" + value + "\"";
        }
    }
    return parsed;
}

}  // namespace varnook
