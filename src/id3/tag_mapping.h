// The one table between ID3v2 frames and Vorbis comments, read in both directions: an MP3's tag
// becomes the Vorbis comments of a FLAC, Ogg or Opus output through it, and such a file's tag
// becomes the frames of an MP3 through it. The names are those the common taggers write
// (ALBUMARTIST, TRACKNUMBER and TRACKTOTAL, DISCNUMBER and DISCTOTAL, MUSICBRAINZ_ALBUMID, ...).
//
// What the two kinds of tag cannot share:
// - a comment name has no letter case and no language, so a COMM frame "Notes" in German comes
//   back as COMM "NOTES" in the default language "eng" (a TXXX frame the table does not name
//   likewise comes back in capitals);
// - frames with no comment form (PRIV, GEOB, POPM, ...) and a TXXX description that is no valid
//   comment name stay out of a Vorbis comment;
// - pictures travel apart, as picture blocks and APIC frames.
// For id3/ only: the frames are TagLib's.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/id3_tags.h"

namespace TagLib {
class PropertyMap;
namespace ID3v2 {
class Frame;
}
}  // namespace TagLib

namespace varnook {

// One Vorbis comment: an upper-case ASCII name and a UTF-8 text.
struct VorbisComment {
    std::string Name;
    std::string Value;
    bool operator==(const VorbisComment&) const = default;
};

// The comments a frame becomes; none for a frame without a comment form. A TRCK "3/12"
// becomes TRACKNUMBER 3 and TRACKTOTAL 12.
std::vector<VorbisComment> CommentsOfFrame(const TagLib::ID3v2::Frame& frame);

// The frames a tag of comments (TagLib's properties: upper-case names, each with its texts)
// becomes: one frame per name with all its texts, TRACKNUMBER and TRACKTOTAL together as TRCK
// "3/12", a name the table does not know as a TXXX frame of that description.
std::vector<std::unique_ptr<TagLib::ID3v2::Frame>> FramesOfComments(const TagLib::PropertyMap& comments);

// The seven fields as comments (an empty field gives none).
std::vector<VorbisComment> CommentsOfFields(const Id3TagSet& fields);

// The seven fields of a tag of comments: several texts of one name joined with "/", the comment
// from COMMENT or else DESCRIPTION, the track as "3/12" when TRACKTOTAL gives the total.
Id3TagSet FieldsOfComments(const TagLib::PropertyMap& comments);

// True for a comment name the seven fields are read from, and for a frame identifier they are
// written to (lame writes those from the tag sets).
bool IsFieldName(std::string_view name);
bool IsFieldFrame(std::string_view frameId);

}  // namespace varnook
