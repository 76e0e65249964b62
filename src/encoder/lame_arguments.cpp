#include "encoder/lame_arguments.h"

#include "base/run_settings.h"
#include "io/text.h"

namespace varnook {
namespace {

struct TagOption {
    TagIndex index;
    const char* option;
    std::string Id3TagSet::*field;
};

// The order in which lame receives the tag options; it is also the order of KeepTag.
constexpr std::array<TagOption, 7> kTagOptions{{
    {kTagTitle, "--tt", &Id3TagSet::Title},
    {kTagArtist, "--ta", &Id3TagSet::Artist},
    {kTagAlbum, "--tl", &Id3TagSet::Album},
    {kTagYear, "--ty", &Id3TagSet::Year},
    {kTagTrack, "--tn", &Id3TagSet::Track},
    {kTagGenre, "--tg", &Id3TagSet::Genre},
    {kTagComment, "--tc", &Id3TagSet::Comment},
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
                                       const std::string& inFile, const std::string& tempOut)
{
    std::vector<std::string> tagArgs;
    if (options != kDecodeOption) {
        for (const TagOption& tag : kTagOptions) {
            if (!keepTag[tag.index]) continue;
            const std::string& preferred = v2.*tag.field;
            const std::string& text = preferred.empty() ? v1.*tag.field : preferred;
            if (text.empty()) continue;
            tagArgs.push_back(tag.option);
            tagArgs.push_back(text);
        }
    }

    std::vector<std::string> args;
    if (!tagArgs.empty()) {
        args = {"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors"};
        args.insert(args.end(), tagArgs.begin(), tagArgs.end());
    }
    for (std::string& word : SplitArguments(options)) args.push_back(std::move(word));
    args.push_back(inFile);
    args.push_back(tempOut);
    return args;
}

}  // namespace varnook
