#include "id3/tag_mapping.h"

#include <algorithm>
#include <array>

#include <taglib/commentsframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/urllinkframe.h>

#include "io/text.h"

namespace varnook {
namespace {

using TagLib::ID3v2::Frame;
using FramePtr = std::unique_ptr<Frame>;

// A frame is named by its identifier, a TXXX frame by its description ("TXXX:Description"), a
// UFID frame by its owner. Each frame takes the first row that names it, each comment the
// first row that names it; a seven-field row says which field it is.
struct Row {
    std::string_view Frame;
    std::string_view Comment;
    std::string Id3TagSet::*Field = nullptr;
};

constexpr std::array kRows{
    Row{"TIT2", "TITLE", &Id3TagSet::Title},
    Row{"TPE1", "ARTIST", &Id3TagSet::Artist},
    Row{"TALB", "ALBUM", &Id3TagSet::Album},
    Row{"TDRC", "DATE", &Id3TagSet::Year},
    // Version 2.3's year, which TagLib keeps as it is when it cannot make it a TDRC.
    Row{"TYER", "DATE", &Id3TagSet::Year},
    Row{"TRCK", "TRACKNUMBER", &Id3TagSet::Track},
    Row{"TCON", "GENRE", &Id3TagSet::Genre},
    Row{"COMM", "COMMENT", &Id3TagSet::Comment},
    // Some writers keep the comment under this name; it is read, never written.
    Row{"COMM", "DESCRIPTION", &Id3TagSet::Comment},
    Row{"TPE2", "ALBUMARTIST"},
    Row{"TPOS", "DISCNUMBER"},
    Row{"TCOM", "COMPOSER"},
    Row{"TPE3", "CONDUCTOR"},
    Row{"TPE4", "REMIXER"},
    Row{"TEXT", "LYRICIST"},
    Row{"TIT1", "GROUPING"},
    Row{"TIT3", "SUBTITLE"},
    Row{"TSST", "DISCSUBTITLE"},
    Row{"TBPM", "BPM"},
    Row{"TKEY", "KEY"},
    Row{"TMOO", "MOOD"},
    Row{"TCOP", "COPYRIGHT"},
    Row{"TPUB", "LABEL"},
    Row{"TSRC", "ISRC"},
    Row{"TMED", "MEDIA"},
    Row{"TLAN", "LANGUAGE"},
    Row{"TCMP", "COMPILATION"},
    Row{"TDOR", "ORIGINALDATE"},
    Row{"TDRL", "RELEASEDATE"},
    Row{"TOPE", "ORIGINALARTIST"},
    Row{"TOAL", "ORIGINALALBUM"},
    Row{"TSOA", "ALBUMSORT"},
    Row{"TSOP", "ARTISTSORT"},
    Row{"TSOT", "TITLESORT"},
    Row{"TSO2", "ALBUMARTISTSORT"},
    Row{"TSOC", "COMPOSERSORT"},
    Row{"TENC", "ENCODEDBY"},
    Row{"TSSE", "ENCODER"},
    Row{"USLT", "LYRICS"},
    Row{"WOAR", "WEBSITE"},
    Row{"UFID:http://musicbrainz.org", "MUSICBRAINZ_TRACKID"},
    Row{"TXXX:MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID"},
    Row{"TXXX:MusicBrainz Artist Id", "MUSICBRAINZ_ARTISTID"},
    Row{"TXXX:MusicBrainz Album Artist Id", "MUSICBRAINZ_ALBUMARTISTID"},
    Row{"TXXX:MusicBrainz Release Group Id", "MUSICBRAINZ_RELEASEGROUPID"},
    Row{"TXXX:MusicBrainz Release Track Id", "MUSICBRAINZ_RELEASETRACKID"},
    Row{"TXXX:MusicBrainz Work Id", "MUSICBRAINZ_WORKID"},
    Row{"TXXX:MusicBrainz Disc Id", "MUSICBRAINZ_DISCID"},
    Row{"TXXX:MusicBrainz Album Status", "RELEASESTATUS"},
    Row{"TXXX:MusicBrainz Album Type", "RELEASETYPE"},
    Row{"TXXX:MusicBrainz Album Release Country", "RELEASECOUNTRY"},
    Row{"TXXX:Acoustid Id", "ACOUSTID_ID"},
    Row{"TXXX:Acoustid Fingerprint", "ACOUSTID_FINGERPRINT"},
};

// A number and a total in one text frame ("3/12"), two comments.
struct NumberPair {
    std::string_view Frame;
    std::string_view Number;
    std::string_view Total;
};
constexpr std::array kNumberPairs{NumberPair{"TRCK", "TRACKNUMBER", "TRACKTOTAL"},
                                  NumberPair{"TPOS", "DISCNUMBER", "DISCTOTAL"}};

// How a row names a TXXX frame by its description and a UFID frame by its owner.
constexpr std::string_view kUserTextPrefix = "TXXX:";
constexpr std::string_view kUniqueIdPrefix = "UFID:";
// Comment names for COMM and USLT frames with a description: "COMMENT:NOTES".
constexpr std::string_view kDescribedSeparator = ":";
constexpr const char* kDefaultLanguage = "eng";

std::string Utf8(const TagLib::String& text)
{
    return text.to8Bit(true);
}

TagLib::String FromUtf8(std::string_view text)
{
    return TagLib::String(std::string(text), TagLib::String::UTF8);
}

std::string UpperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return upper;
}

// What a Vorbis comment name may hold: printable ASCII but "=" (and "~", which TagLib refuses).
bool IsValidName(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c >= 0x20 && c <= 0x7D && c != '=' && c != '~';
    });
}

const Row* RowOfFrame(std::string_view frameKey)
{
    for (const Row& row : kRows) {
        // TXXX descriptions and UFID owners are matched without regard to case.
        if (frameKey.size() > 4 ? EqualsNoCase(row.Frame, frameKey) : row.Frame == frameKey) return &row;
    }
    return nullptr;
}

const Row* RowOfComment(std::string_view name)
{
    const auto found = std::find_if(kRows.begin(), kRows.end(), [&](const Row& row) { return row.Comment == name; });
    return found == kRows.end() ? nullptr : &*found;
}

const NumberPair* PairOfFrame(std::string_view frameId)
{
    const auto found = std::find_if(kNumberPairs.begin(), kNumberPairs.end(),
                                    [&](const NumberPair& pair) { return pair.Frame == frameId; });
    return found == kNumberPairs.end() ? nullptr : &*found;
}

// "COMMENT" for a frame without a description, "COMMENT:NOTES" for one with "Notes".
std::string DescribedName(std::string_view base, const TagLib::String& description)
{
    if (description.isEmpty()) return std::string(base);
    return std::string(base) + std::string(kDescribedSeparator) + UpperAscii(Utf8(description));
}

void Append(std::vector<VorbisComment>& comments, const std::string& name, const TagLib::StringList& values)
{
    if (!IsValidName(name)) return;
    for (const TagLib::String& value : values) comments.push_back({name, Utf8(value)});
}

// "3/12" as the number "3" and the total "12"; "3" as the number alone.
std::pair<std::string, std::string> SplitNumber(const std::string& text)
{
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return {text, {}};
    return {text.substr(0, slash), text.substr(slash + 1)};
}

std::vector<VorbisComment> NumberComments(const NumberPair& pair, const std::string& text)
{
    std::vector<VorbisComment> comments;
    const auto [number, total] = SplitNumber(text);
    if (!number.empty()) comments.push_back({std::string(pair.Number), number});
    if (!total.empty()) comments.push_back({std::string(pair.Total), total});
    return comments;
}

std::string Joined(const TagLib::StringList& values)
{
    return Utf8(values.toString("/"));
}

const TagLib::StringList* Find(const TagLib::PropertyMap& comments, std::string_view name)
{
    const auto found = comments.find(FromUtf8(name));
    return found == comments.end() || found->second.isEmpty() ? nullptr : &found->second;
}

// "3" and "12" as "3/12"; a number that holds its total already is kept as it is.
std::string JoinedNumber(const TagLib::PropertyMap& comments, const NumberPair& pair)
{
    const TagLib::StringList* number = Find(comments, pair.Number);
    const TagLib::StringList* total = Find(comments, pair.Total);
    std::string text = number != nullptr ? Utf8(number->front()) : std::string();
    if (total != nullptr && text.find('/') == std::string::npos) text += "/" + Utf8(total->front());
    return text;
}

FramePtr TextFrame(std::string_view id, const TagLib::StringList& values)
{
    auto frame = std::make_unique<TagLib::ID3v2::TextIdentificationFrame>(
        TagLib::ByteVector(id.data(), static_cast<unsigned>(id.size())), TagLib::String::UTF8);
    frame->setText(values);
    return frame;
}

template <typename FrameWithLanguage>
FramePtr LanguageFrame(const TagLib::String& description, const TagLib::String& text)
{
    auto frame = std::make_unique<FrameWithLanguage>(TagLib::String::UTF8);
    frame->setLanguage(kDefaultLanguage);
    frame->setDescription(description);
    frame->setText(text);
    return frame;
}

FramePtr UrlFrame(std::string_view id, const TagLib::String& url)
{
    // TagLib makes a URL frame only from its bytes: the identifier, a size and flags of 0.
    TagLib::ByteVector bytes(id.data(), static_cast<unsigned>(id.size()));
    bytes.append(TagLib::ByteVector(6, '\0'));
    auto frame = std::make_unique<TagLib::ID3v2::UrlLinkFrame>(bytes);
    frame->setUrl(url);
    return frame;
}

// The frames of one comment name and its texts. "COMMENT:NOTES" is a COMM frame described
// "NOTES", "LYRICS:NOTES" likewise a USLT frame; a name the table does not know is a TXXX frame.
void AddFrames(std::vector<FramePtr>& frames, const std::string& name, const TagLib::StringList& values)
{
    const size_t separator = name.find(kDescribedSeparator);
    const Row* row = RowOfComment(name.substr(0, separator));
    TagLib::String description;
    if (separator != std::string::npos) {
        description = FromUtf8(std::string_view(name).substr(separator + kDescribedSeparator.size()));
        if (row != nullptr && row->Frame != "COMM" && row->Frame != "USLT") row = nullptr;
    }
    const std::string_view key = row != nullptr ? row->Frame : std::string_view();
    if (key == "COMM") {
        for (const TagLib::String& value : values)
            frames.push_back(LanguageFrame<TagLib::ID3v2::CommentsFrame>(description, value));
    } else if (key == "USLT") {
        for (const TagLib::String& value : values)
            frames.push_back(LanguageFrame<TagLib::ID3v2::UnsynchronizedLyricsFrame>(description, value));
    } else if (key.starts_with(kUserTextPrefix)) {
        frames.push_back(std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(
            FromUtf8(key.substr(kUserTextPrefix.size())), values, TagLib::String::UTF8));
    } else if (key.starts_with(kUniqueIdPrefix)) {
        const std::string id = Utf8(values.front());
        frames.push_back(std::make_unique<TagLib::ID3v2::UniqueFileIdentifierFrame>(
            FromUtf8(key.substr(kUniqueIdPrefix.size())),
            TagLib::ByteVector(id.data(), static_cast<unsigned>(id.size()))));
    } else if (key.starts_with("W")) {
        frames.push_back(UrlFrame(key, values.front()));
    } else if (!key.empty()) {
        frames.push_back(TextFrame(key, values));
    } else {
        frames.push_back(std::make_unique<TagLib::ID3v2::UserTextIdentificationFrame>(FromUtf8(name), values,
                                                                                     TagLib::String::UTF8));
    }
}

}  // namespace

std::vector<VorbisComment> CommentsOfFrame(const Frame& frame)
{
    const std::string id(frame.frameID().data(), frame.frameID().size());
    std::vector<VorbisComment> comments;
    if (const auto* user = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(&frame)) {
        const std::string description = Utf8(user->description());
        const Row* row = RowOfFrame(std::string(kUserTextPrefix) + description);
        TagLib::StringList values = user->fieldList();
        if (!values.isEmpty()) values.erase(values.begin());  // the description
        Append(comments, row != nullptr ? std::string(row->Comment) : UpperAscii(description), values);
    } else if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(&frame)) {
        if (const NumberPair* pair = PairOfFrame(id)) {
            if (!text->fieldList().isEmpty()) return NumberComments(*pair, Utf8(text->fieldList().front()));
        } else if (const Row* row = RowOfFrame(id)) {
            Append(comments, std::string(row->Comment), text->fieldList());
        }
    } else if (const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(&frame)) {
        Append(comments, DescribedName(RowOfFrame("COMM")->Comment, comment->description()), comment->text());
    } else if (const auto* lyrics = dynamic_cast<const TagLib::ID3v2::UnsynchronizedLyricsFrame*>(&frame)) {
        Append(comments, DescribedName(RowOfFrame("USLT")->Comment, lyrics->description()), lyrics->text());
    } else if (const auto* ufid = dynamic_cast<const TagLib::ID3v2::UniqueFileIdentifierFrame*>(&frame)) {
        if (const Row* row = RowOfFrame(std::string(kUniqueIdPrefix) + Utf8(ufid->owner()))) {
            const TagLib::ByteVector bytes = ufid->identifier();
            comments.push_back({std::string(row->Comment), std::string(bytes.data(), bytes.size())});
        }
    } else if (const auto* url = dynamic_cast<const TagLib::ID3v2::UrlLinkFrame*>(&frame)) {
        const Row* row = RowOfFrame(id);
        if (row != nullptr && dynamic_cast<const TagLib::ID3v2::UserUrlLinkFrame*>(&frame) == nullptr)
            Append(comments, std::string(row->Comment), TagLib::StringList(url->url()));
    }
    return comments;
}

std::vector<FramePtr> FramesOfComments(const TagLib::PropertyMap& comments)
{
    std::vector<FramePtr> frames;
    for (const NumberPair& pair : kNumberPairs) {
        const std::string text = JoinedNumber(comments, pair);
        if (!text.empty()) frames.push_back(TextFrame(pair.Frame, TagLib::StringList(FromUtf8(text))));
    }
    for (const auto& [key, values] : comments) {
        const std::string name = Utf8(key);
        const auto inPair = [&](const NumberPair& pair) { return name == pair.Number || name == pair.Total; };
        if (values.isEmpty() || std::any_of(kNumberPairs.begin(), kNumberPairs.end(), inPair)) continue;
        AddFrames(frames, name, values);
    }
    return frames;
}

std::vector<VorbisComment> CommentsOfFields(const Id3TagSet& fields)
{
    std::vector<VorbisComment> comments;
    for (const std::string Id3TagSet::*field : kKeepTagFields) {
        const std::string& text = fields.*field;
        if (text.empty()) continue;
        const auto row = std::find_if(kRows.begin(), kRows.end(), [&](const Row& r) { return r.Field == field; });
        if (const NumberPair* pair = PairOfFrame(row->Frame)) {
            const std::vector<VorbisComment> numbers = NumberComments(*pair, text);
            comments.insert(comments.end(), numbers.begin(), numbers.end());
        } else {
            comments.push_back({std::string(row->Comment), text});
        }
    }
    return comments;
}

Id3TagSet FieldsOfComments(const TagLib::PropertyMap& comments)
{
    Id3TagSet fields;
    for (const Row& row : kRows) {
        if (row.Field == nullptr || !(fields.*row.Field).empty()) continue;
        if (const NumberPair* pair = PairOfFrame(row.Frame)) {
            fields.*row.Field = JoinedNumber(comments, *pair);
        } else if (const TagLib::StringList* values = Find(comments, row.Comment)) {
            fields.*row.Field = Joined(*values);
        }
    }
    return fields;
}

bool IsFieldName(std::string_view name)
{
    const Row* row = RowOfComment(name);
    if (row != nullptr) return row->Field != nullptr;
    return std::any_of(kNumberPairs.begin(), kNumberPairs.end(), [&](const NumberPair& pair) {
        return name == pair.Total && RowOfFrame(pair.Frame)->Field != nullptr;
    });
}

bool IsFieldFrame(std::string_view frameId)
{
    const Row* row = RowOfFrame(frameId);
    return row != nullptr && row->Field != nullptr && frameId != "COMM";
}

}  // namespace varnook
