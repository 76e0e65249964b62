#include "id3/carry_over.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/xiphcomment.h>

#include "id3/compressed_frame.h"
#include "id3/id3v2_header.h"
#include "id3/riff_tag_chunks.h"
#include "id3/source_tags.h"
#include "id3/tag_mapping.h"
#include "io/errors.h"
#include "io/file.h"
#include "io/text.h"

namespace varnook {
namespace {

using TagLib::ByteVector;
using TagLib::ID3v2::Frame;
using FramePtr = std::unique_ptr<Frame>;

constexpr unsigned kTagHeaderSize = 10;
constexpr unsigned kTagFlagsAt = 5;
constexpr char kUnsynchronisedTag = '\x80';
// 2.3 and 2.4 frames: identifier 0-3, size 4-7, status flags 8, format flags 9.
constexpr unsigned kFormatFlagsAt = 9;
constexpr unsigned kExtendedSizeBytes = 4;
// A tag's size is four 7-bit digits.
constexpr unsigned kTagSizeLimit = 1u << 28;
constexpr int kLastTextEncoding = TagLib::String::UTF8;
// Room asked of lame beyond the carried frames' own bytes: its frames come out a few bytes
// longer or shorter once TagLib renders them. TagLib fills the tag to its old size when what is
// left is under 1 % of the file (at least 1 kB), so the audio stays where it is.
constexpr size_t kSpareRoom = 512;
// lame pads its tag by at most this much, whatever it is asked for.
constexpr size_t kLameMaxPadding = 128000;

// Made false by encoding again, see the header.
constexpr std::array<std::string_view, 6> kFalseFrames{"RVA2", "RVAD", "RGAD", "TLEN", "TSSE", "TENC"};
constexpr std::array<std::string_view, 3> kFalseTextPrefixes{"REPLAYGAIN_", "R128_", "ENCODER"};
constexpr std::array<std::string_view, 2> kFalseComments{"iTunNORM", "iTunSMPB"};

struct SourceFrames {
    std::vector<FramePtr> Frames;
    std::vector<std::string> Broken;
    // The language and description of the first comment frame: the one the Comment field reads,
    // unless the reader passed over it.
    std::optional<std::pair<ByteVector, TagLib::String>> FieldComment;
    bool CommentSeen = false;
    // The seven fields' frames that the readers passed over: the encoder got nothing from them.
    std::vector<std::string> UnreadFields;
};

std::string Id(const Frame& frame)
{
    return std::string(frame.frameID().data(), frame.frameID().size());
}

std::string Utf8(const TagLib::String& text)
{
    return text.to8Bit(true);
}

template <typename Ids>
bool Among(std::string_view id, const Ids& ids)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The frame identifier as stored, for the log: printable ASCII, anything else as "?".
std::string PrintableId(const ByteVector& body, unsigned at, unsigned length)
{
    std::string id;
    for (unsigned i = at; i < at + length && i < body.size(); ++i) {
        const char c = body[i];
        id += (c >= ' ' && c <= '~') ? c : '?';
    }
    return id;
}

// A frame TagLib could parse but whose content cannot be right.
bool IsBroken(const Frame& frame)
{
    if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(&frame))
        return text->textEncoding() > kLastTextEncoding;
    if (const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(&frame))
        return comment->textEncoding() > kLastTextEncoding;
    if (const auto* lyrics = dynamic_cast<const TagLib::ID3v2::UnsynchronizedLyricsFrame*>(&frame))
        return lyrics->textEncoding() > kLastTextEncoding;
    if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(&frame))
        return picture->picture().isEmpty();
    return false;
}

// The size a frame header claims, read as its version writes it (v2.4 sizes are 7-bit digits).
unsigned ClaimedFrameSize(const ByteVector& body, unsigned at, unsigned major)
{
    if (major == 2) return body.toUInt(at + 3, 3, true);
    const ByteVector size = body.mid(at + 4, 4);
    return major == 4 ? TagLib::ID3v2::SynchData::toUInt(size) : size.toUInt(true);
}

// Walks the frames of a whole ID3v2 tag (header included) and lets TagLib make each one on its
// own: a frame it refuses, or one broken inside, is named and skipped by its claimed size, and
// the walk goes on with the next. Compressed frames are inflated here first.
SourceFrames WalkTag(const ByteVector& tag)
{
    SourceFrames result;
    if (tag.size() < kTagHeaderSize || !tag.startsWith("ID3")) return result;
    const TagLib::ID3v2::Header header(tag.mid(0, kTagHeaderSize));
    const unsigned major = header.majorVersion();
    if (major < 2 || major > 4 || header.tagSize() >= kTagSizeLimit) return result;
    // 2.4 marks unsynchronisation per frame, and TagLib undoes it there. The body is never
    // written to: the frames TagLib makes share its bytes, so a write access (even a non-const
    // operator[]) would copy the whole body again for every frame, each copy kept alive by a frame.
    const ByteVector body = major <= 3 && header.unsynchronisation()
                                ? TagLib::ID3v2::SynchData::decode(tag.mid(kTagHeaderSize, header.tagSize()))
                                : tag.mid(kTagHeaderSize, header.tagSize());
    // An inflated frame holds no unsynchronisation for TagLib to undo.
    ByteVector plainHeaderBytes = tag.mid(0, kTagHeaderSize);
    plainHeaderBytes[kTagFlagsAt] = static_cast<char>(plainHeaderBytes[kTagFlagsAt] & ~kUnsynchronisedTag);
    const TagLib::ID3v2::Header plainHeader(plainHeaderBytes);

    unsigned at = 0;
    if (header.extendedHeader() && body.size() >= kExtendedSizeBytes) {
        // 2.3 counts the size bytes apart, 2.4 with the rest.
        at = major == 3 ? kExtendedSizeBytes + body.toUInt(0, true)
                        : TagLib::ID3v2::SynchData::toUInt(body.mid(0, kExtendedSizeBytes));
    }
    const unsigned idLength = major == 2 ? 3 : 4;
    const unsigned frameHeaderSize = major == 2 ? 6 : 10;
    const TagLib::ID3v2::FrameFactory* factory = TagLib::ID3v2::FrameFactory::instance();
    while (at < body.size() && body.size() - at >= frameHeaderSize) {
        // Padding: a frame identifier never starts with a zero byte.
        if (body[at] == 0) break;
        const unsigned size = ClaimedFrameSize(body, at, major);
        const unsigned held = std::min(size, body.size() - at - frameHeaderSize);
        const std::optional<PlainFrame> plain =
            WithoutCompression(body.mid(at, frameHeaderSize + held), major, header.unsynchronisation());
        FramePtr frame(plain ? factory->createFrame(plain->Bytes, plain->Inflated ? &plainHeader : &header) : nullptr);
        if (!frame || IsBroken(*frame)) {
            result.Broken.push_back(PrintableId(body, at, idLength));
        } else {
            // The readers of the seven fields pass over a frame with format flags (compressed,
            // grouped, ...), so the encoder got nothing from it: such a frame is carried.
            const bool unread = major >= 3 && body[at + kFormatFlagsAt] != 0;
            if (!result.CommentSeen && Id(*frame) == "COMM") {
                result.CommentSeen = true;
                const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame.get());
                if (comment != nullptr && !unread) result.FieldComment.emplace(comment->language(), comment->description());
            }
            if (unread && IsFieldFrame(Id(*frame)) && !Among(Id(*frame), result.UnreadFields))
                result.UnreadFields.push_back(Id(*frame));
            result.Frames.push_back(std::move(frame));
        }
        if (size > body.size() - at - frameHeaderSize) break;
        at += frameHeaderSize + size;
    }
    return result;
}

// The whole ID3v2 tag at the start of a file; empty when there is none.
ByteVector LeadingTag(const std::string& path)
{
    try {
        const File file(path, File::Mode::Read);
        std::array<uint8_t, kTagHeaderSize> head{};
        if (file.ReadAt(0, head) < head.size()) return {};
        const ByteVector headBytes(reinterpret_cast<const char*>(head.data()), kTagHeaderSize);
        if (!headBytes.startsWith("ID3")) return {};
        const TagLib::ID3v2::Header header(headBytes);
        // Checked before anything is allocated: a forged size in a small file costs nothing.
        const int64_t whole = int64_t{kTagHeaderSize} + header.tagSize();
        if (header.tagSize() >= kTagSizeLimit || whole > file.Size()) return {};
        std::vector<uint8_t> bytes(static_cast<size_t>(whole));
        bytes.resize(file.ReadAt(0, bytes));
        return ByteVector(reinterpret_cast<const char*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    } catch (const FileError&) {
        return {};
    }
}

FramePtr PictureFrame(const TagLib::FLAC::Picture& picture)
{
    auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    frame->setMimeType(picture.mimeType());
    frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type()));
    frame->setDescription(picture.description());
    frame->setPicture(picture.data());
    return frame;
}

// A tag of another kind (FLAC and Ogg Vorbis comments, ...) in ID3v2 frames, through the one
// table of tag_mapping.h, without the seven fields' names; pictures become APIC frames.
SourceFrames OtherFormatFrames(const std::string& path)
{
    SourceFrames result;
    const TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull()) return result;
    TagLib::PropertyMap properties;
    for (const auto& [name, values] : ref.file()->properties())
        if (!IsFieldName(Utf8(name))) properties.insert(name, values);
    result.Frames = FramesOfComments(properties);
    TagLib::List<TagLib::FLAC::Picture*> pictures;
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(ref.file())) {
        pictures = flac->pictureList();
    } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(ref.file()->tag())) {
        pictures = xiph->pictureList();
    }
    for (const TagLib::FLAC::Picture* picture : pictures) result.Frames.push_back(PictureFrame(*picture));
    return result;
}

SourceFrames ReadSourceFrames(const std::string& path)
{
    switch (TagReaderOf(path)) {
    case TagReader::Id3: return WalkTag(LeadingTag(path));
    case TagReader::Chunks: {
        const std::vector<uint8_t> tag = ReadRiffTagChunks(path).Id3;
        return WalkTag(ByteVector(reinterpret_cast<const char*>(tag.data()), static_cast<unsigned>(tag.size())));
    }
    case TagReader::TagLib: break;
    }
    return OtherFormatFrames(path);
}

bool IsFalseNow(const Frame& frame)
{
    const std::string id = Id(frame);
    if (Among(id, kFalseFrames)) return true;
    if (const auto* text = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(&frame)) {
        const std::string description = Utf8(text->description());
        for (const std::string_view prefix : kFalseTextPrefixes)
            if (StartsWithNoCase(description, prefix)) return true;
        if (EqualsNoCase(description, kProvenanceFrameDescription)) return true;
    }
    if (const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(&frame))
        return Among(Utf8(comment->description()), kFalseComments);
    return false;
}

bool IsFieldComment(const Frame& frame, const SourceFrames& source)
{
    const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(&frame);
    return comment != nullptr && source.FieldComment &&
           comment->language() == source.FieldComment->first &&
           comment->description() == source.FieldComment->second;
}

// lame writes its own comments (the Comment field's, and the "ID3v1 Comment" copy) and its own
// text frames; the source's frame of the same kind gives way.
bool NewTagHasIt(const TagLib::ID3v2::Tag& tag, const Frame& frame)
{
    const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(&frame);
    if (comment == nullptr) {
        return dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(&frame) == nullptr &&
               dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(&frame) != nullptr &&
               !tag.frameList(frame.frameID()).isEmpty();
    }
    for (const Frame* own : tag.frameList("COMM")) {
        const auto* ownComment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(own);
        if (ownComment != nullptr && ownComment->language() == comment->language() &&
            ownComment->description() == comment->description())
            return true;
    }
    return false;
}

// Puts `tag` in place of the file's first `oldSize` bytes, moving the rest when the sizes
// differ. TagLib can do this too, but it moves the audio in steps of the tag's size, a thousand
// small reads and writes for a 4 MB file; File::MoveTail takes blocks of 1 MiB.
void ReplaceLeadingBytes(const std::string& path, const ByteVector& tag, int64_t oldSize)
{
    File file(path, File::Mode::ReadWrite);
    file.MoveTail(oldSize, int64_t{tag.size()} - oldSize);
    file.WriteAt(0, std::span(reinterpret_cast<const uint8_t*>(tag.data()), tag.size()));
}

}  // namespace

struct CarriedFrames::Frames {
    std::vector<FramePtr> Carried;
    std::vector<std::string> Broken;
};

CarriedFrames::CarriedFrames() : frames_(std::make_unique<Frames>()) {}

CarriedFrames::CarriedFrames(const std::string& sourcePath) : frames_(std::make_unique<Frames>())
{
    SourceFrames source = ReadSourceFrames(sourcePath);
    frames_->Broken = std::move(source.Broken);
    for (FramePtr& frame : source.Frames) {
        const std::string id = Id(*frame);
        if ((IsFieldFrame(id) && !Among(id, source.UnreadFields)) || IsFieldComment(*frame, source) ||
            IsFalseNow(*frame))
            continue;
        frames_->Carried.push_back(std::move(frame));
    }
}

CarriedFrames::~CarriedFrames() = default;
CarriedFrames::CarriedFrames(CarriedFrames&&) noexcept = default;
CarriedFrames& CarriedFrames::operator=(CarriedFrames&&) noexcept = default;

const std::vector<std::string>& CarriedFrames::BrokenFrames() const
{
    return frames_->Broken;
}

const std::vector<std::unique_ptr<Frame>>& CarriedFrames::Carried() const
{
    return frames_->Carried;
}

size_t CarriedFrames::RoomNeeded() const
{
    if (frames_->Carried.empty()) return 0;
    // Rendered as TagLib will render them into the 2.3 tag (texts in UTF-16 there), in a tag of
    // their own whose header and padding are measured apart; lent to it, not given.
    TagLib::ID3v2::Tag scratch;
    const size_t bare = scratch.render(TagLib::ID3v2::v3).size();
    for (const FramePtr& frame : frames_->Carried) scratch.addFrame(frame.get());
    const size_t full = scratch.render(TagLib::ID3v2::v3).size();
    for (const FramePtr& frame : frames_->Carried) scratch.removeFrame(frame.get(), false);
    const size_t room = full - bare + kSpareRoom;
    return room <= kLameMaxPadding ? room : 0;
}

bool CarriedFrames::WriteInto(const std::string& newMp3)
{
    std::vector<FramePtr> carried = std::move(frames_->Carried);
    ByteVector tagBytes;
    int64_t audioStart = 0;
    {
        TagLib::MPEG::File file(newMp3.c_str(), false);
        if (!file.isValid()) return carried.empty();
        file.seek(0);
        // lame writes its tag at the very start; a tag anywhere else is not one we rewrite, and
        // without lame's tag there is no comment to mend.
        const bool leading = file.readBlock(3) == "ID3";
        if (!leading && (carried.empty() || file.hasID3v2Tag())) return carried.empty();
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        if (leading) audioStart = tag->header()->completeTagSize();
        // lame writes its comments in UTF-16 with an empty description that lacks its byte order
        // mark, which ffprobe refuses ("Incorrect BOM value"); TagLib renders them with one.
        bool changed = !tag->frameList("COMM").isEmpty();
        for (FramePtr& frame : carried) {
            if (NewTagHasIt(*tag, *frame)) continue;
            tag->addFrame(frame.release());
            changed = true;
        }
        if (!changed) return true;
        tagBytes = tag->render(TagLib::ID3v2::v3);
    }
    try {
        ReplaceLeadingBytes(newMp3, tagBytes, audioStart);
    } catch (const FileError&) {
        return false;
    }
    return true;
}

}  // namespace varnook
