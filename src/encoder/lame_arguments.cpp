#include "encoder/lame_arguments.h"

#include "io/text.h"

namespace varnook {
namespace {

struct TagOption {
    const char* option;
    std::string Id3TagSet::*field;
};

// The order in which lame receives the tag options.
constexpr std::array<TagOption, 7> kTagOptions{{
    {"--tt", &Id3TagSet::Title},
    {"--ta", &Id3TagSet::Artist},
    {"--tl", &Id3TagSet::Album},
    {"--ty", &Id3TagSet::Year},
    {"--tn", &Id3TagSet::Track},
    {"--tg", &Id3TagSet::Genre},
    {"--tc", &Id3TagSet::Comment},
}};

}  // namespace

std::vector<std::string> SplitArguments(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (IsBlank(c) && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::vector<std::string> LameArguments(const std::array<bool, 7>& keepTag, const Id3TagSet& v2,
                                       const Id3TagSet& v1, const std::string& options,
                                       const std::string& inFile, const std::string& tempOut,
                                       size_t id3Room)
{
    std::vector<std::string> tagArgs;
    if (options != kDecodeOption) {
        const Id3TagSet kept = KeptTags(keepTag, v2, v1);
        for (const TagOption& tag : kTagOptions) {
            const std::string& text = kept.*tag.field;
            if (text.empty()) continue;
            tagArgs.push_back(tag.option);
            tagArgs.push_back(text);
        }
    }

    std::vector<std::string> args;
    if (options != kDecodeOption && id3Room > 0) {
        args = {"--add-id3v2", "--pad-id3v2-size", std::to_string(id3Room), "--ignore-tag-errors"};
        args.insert(args.end(), tagArgs.begin(), tagArgs.end());
    } else if (!tagArgs.empty()) {
        args = {"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors"};
        args.insert(args.end(), tagArgs.begin(), tagArgs.end());
    }
    for (std::string& word : SplitArguments(options)) args.push_back(std::move(word));
    args.push_back(inFile);
    args.push_back(tempOut);
    return args;
}

}  // namespace varnook
