#include "id3/output_tags.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include "id3/carry_over.h"
#include "id3/riff_tag_chunks.h"
#include "id3/tag_mapping.h"
#include "io/byte_order.h"
#include "io/errors.h"
#include "io/file.h"
#include "wav/wav_layout.h"

namespace varnook {
namespace {

using PicturePtr = std::unique_ptr<TagLib::FLAC::Picture>;

// Room beyond the blocks' own bytes: TagLib keeps what is left over as padding as long as it is
// at most 1 % of the file (and never less than 4 kB), and with none left it would add 4 kB, moving
// the audio.
constexpr size_t kSpareRoom = 1024;
// The comment that holds the provenance: the name tag_mapping gives the TXXX frame
// "VarnookProvenance" of an MP3 output, so the carry-over knows it in either form.
constexpr const char* kProvenanceComment = "VARNOOKPROVENANCE";
// How a FLAC stream and an Ogg page begin.
constexpr std::string_view kFlacMagic = "fLaC";
constexpr std::string_view kOggMagic = "OggS";

// A WAV has a few chunks before its samples; a forged chain must not keep us walking.
constexpr int kMaxChunksBeforeData = 64;

// A FLAC metadata block's header, and a vendor text longer than libFLAC's.
constexpr size_t kBlockHeaderBytes = 4;
constexpr size_t kVendorBytes = 64;

TagLib::String FromUtf8(const std::string& text)
{
    return TagLib::String(text, TagLib::String::UTF8);
}

// The comments of the fields and the carried frames, and the output's own provenance: a source's
// names another source, and is never carried.
std::vector<VorbisComment> Comments(const Id3TagSet& fields, const CarriedFrames& carried,
                                    const std::string& provenance = {})
{
    std::vector<VorbisComment> comments = CommentsOfFields(fields);
    for (const auto& frame : carried.Carried()) {
        const std::vector<VorbisComment> more = CommentsOfFrame(*frame);
        comments.insert(comments.end(), more.begin(), more.end());
    }
    if (!provenance.empty()) comments.push_back({kProvenanceComment, provenance});
    return comments;
}

std::optional<std::string> ProvenanceIn(const TagLib::Ogg::XiphComment* tag)
{
    if (tag == nullptr) return std::nullopt;
    const TagLib::Ogg::FieldListMap& fields = tag->fieldListMap();
    const auto found = fields.find(kProvenanceComment);
    if (found == fields.end() || found->second.isEmpty()) return std::nullopt;
    return found->second.front().to8Bit(true);
}

template <typename OggFile>
std::optional<std::string> OggProvenance(const std::string& path)
{
    OggFile file(path.c_str(), false);
    return file.isValid() ? ProvenanceIn(file.tag()) : std::nullopt;
}

std::vector<PicturePtr> Pictures(const CarriedFrames& carried)
{
    std::vector<PicturePtr> pictures;
    for (const auto& frame : carried.Carried()) {
        const auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame.get());
        if (apic == nullptr) continue;
        auto picture = std::make_unique<TagLib::FLAC::Picture>();
        picture->setType(static_cast<TagLib::FLAC::Picture::Type>(apic->type()));
        picture->setMimeType(apic->mimeType());
        picture->setDescription(apic->description());
        picture->setData(apic->picture());
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

void Fill(TagLib::Ogg::XiphComment& tag, const std::vector<VorbisComment>& comments)
{
    tag.removeAllFields();
    for (const VorbisComment& comment : comments) tag.addField(FromUtf8(comment.Name), FromUtf8(comment.Value), false);
}

// What a written tag holds, to compare with what it reads back as: TagLib says nothing of a
// write that failed, and a cut file may still open.
struct TagCount {
    unsigned Fields = 0;
    unsigned Pictures = 0;
    bool operator==(const TagCount&) const = default;
};

// (TagLib's readers of pictures are not const.)
TagCount CountOf(TagLib::FLAC::File& file)
{
    const TagLib::Ogg::XiphComment* comments = file.xiphComment(false);
    return {comments != nullptr ? comments->fieldCount() : 0, file.pictureList().size()};
}

TagCount CountOf(TagLib::Ogg::XiphComment& tag)
{
    return {tag.fieldCount(), tag.pictureList().size()};
}

bool WriteFlac(const std::string& path, const std::vector<VorbisComment>& comments, std::vector<PicturePtr> pictures)
{
    TagCount written;
    {
        TagLib::FLAC::File file(path.c_str(), false);
        if (!file.isValid()) return false;
        Fill(*file.xiphComment(true), comments);
        file.removePictures();
        for (PicturePtr& picture : pictures) file.addPicture(picture.release());
        written = CountOf(file);
        if (!file.save()) return false;
    }
    TagLib::FLAC::File after(path.c_str(), false);
    return after.isValid() && CountOf(after) == written;
}

template <typename OggFile>
bool WriteOgg(const std::string& path, const std::vector<VorbisComment>& comments, std::vector<PicturePtr> pictures)
{
    TagCount written;
    {
        OggFile file(path.c_str(), false);
        if (!file.isValid()) return false;
        TagLib::Ogg::XiphComment& tag = *file.tag();
        Fill(tag, comments);
        tag.removeAllPictures();
        for (PicturePtr& picture : pictures) tag.addPicture(picture.release());
        written = CountOf(tag);
        if (!file.save()) return false;
    }
    OggFile after(path.c_str(), false);
    return after.isValid() && after.tag() != nullptr && CountOf(*after.tag()) == written;
}

// The carried frames lent to a tag for as long as this lives, not given: the carry-over keeps
// them, and the tag would delete them when it goes.
class LentFrames {
public:
    LentFrames(TagLib::ID3v2::Tag& tag, const CarriedFrames& carried) : tag_(tag), carried_(carried)
    {
        for (const auto& frame : carried_.Carried()) tag_.addFrame(frame.get());
    }
    ~LentFrames()
    {
        for (const auto& frame : carried_.Carried()) tag_.removeFrame(frame.get(), false);
    }
    LentFrames(const LentFrames&) = delete;
    LentFrames& operator=(const LentFrames&) = delete;

private:
    TagLib::ID3v2::Tag& tag_;
    const CarriedFrames& carried_;
};

// The tag chunks (LIST/INFO, ID3) before a WAV's samples, which TagLib would take out by moving
// every sample behind them down, a kilobyte at a time: named "JUNK" and zeroed instead (a field
// the user did not keep must not stay readable), they stay as padding that readers pass over,
// and the new tags go after the samples. The chunk walk ends at the samples, at a size that leads
// past the end, or after kMaxChunksBeforeData chunks.
void RetireTagChunksBeforeSamples(const std::string& path)
{
    File file(path, File::Mode::ReadWrite);
    const int64_t length = file.Size();
    constexpr std::array<uint8_t, kChunkIdBytes> kJunk{'J', 'U', 'N', 'K'};
    std::array<uint8_t, kChunkHeaderBytes + kChunkIdBytes> head{};  // a LIST's form type included
    if (file.ReadAt(0, head) < head.size() || !IdAt(head, kRiffIdAt, kRiffId)) return;
    int64_t at = kRiffHeaderBytes;
    for (int i = 0; i < kMaxChunksBeforeData && length - at >= kChunkHeaderBytes; ++i) {
        head.fill(0);
        file.ReadAt(at, head);
        const auto size = static_cast<uint32_t>(LoadLE32(head.data() + kChunkSizeAt));
        if (IdAt(head, 0, kDataId) || size > length - at - kChunkHeaderBytes) return;
        if (IdAt(head, 0, "id3 ") || IdAt(head, 0, "ID3 ") ||
            (IdAt(head, 0, "LIST") && IdAt(head, kChunkHeaderBytes, "INFO"))) {
            file.WriteAt(at, kJunk);
            file.WriteZerosAt(at + kChunkHeaderBytes, size);
        }
        at += kChunkHeaderBytes + size + (size & 1);
    }
}

bool WriteWav(const std::string& path, const Id3TagSet& fields, const CarriedFrames& carried)
{
    try {
        RetireTagChunksBeforeSamples(path);
    } catch (const FileError&) {
        return false;
    }
    // Properties read, for the sample count to compare.
    TagLib::RIFF::WAV::File file(path.c_str(), true);
    if (!file.isValid()) return false;
    const unsigned frames = file.audioProperties() != nullptr ? file.audioProperties()->sampleFrames() : 0;

    TagLib::RIFF::Info::Tag& info = *file.InfoTag();
    for (const InfoField& field : kInfoFields) {
        const TagLib::ByteVector id(field.id.data(), static_cast<unsigned>(field.id.size()));
        info.setFieldText(id, FromUtf8(fields.*field.field));
    }

    TagLib::ID3v2::Tag& id3 = *file.ID3v2Tag();
    for (TagLib::ID3v2::Frame* old : TagLib::ID3v2::FrameList(id3.frameList())) id3.removeFrame(old);
    TagLib::PropertyMap fieldComments;
    for (const VorbisComment& comment : CommentsOfFields(fields))
        fieldComments.insert(FromUtf8(comment.Name), TagLib::StringList(FromUtf8(comment.Value)));
    for (std::unique_ptr<TagLib::ID3v2::Frame>& frame : FramesOfComments(fieldComments)) id3.addFrame(frame.release());
    unsigned frameCount = 0;
    bool saved = false;
    {
        const LentFrames lent(id3, carried);
        frameCount = id3.frameList().size();
        saved = file.save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v3);
    }
    if (!saved) return false;

    // The file must read back with its samples and every text and frame written (see TagCount).
    TagLib::RIFF::WAV::File after(path.c_str(), true);
    return after.isValid() && after.audioProperties() != nullptr && after.audioProperties()->sampleFrames() == frames &&
           after.InfoTag()->fieldListMap().size() == info.fieldListMap().size() &&
           after.ID3v2Tag()->frameList().size() == frameCount;
}

}  // namespace

size_t OutputTagRoom(const Id3TagSet& fields, const CarriedFrames& carried)
{
    TagLib::Ogg::XiphComment scratch;
    Fill(scratch, Comments(fields, carried));
    size_t room = kBlockHeaderBytes + scratch.render(false).size() + kVendorBytes + kSpareRoom;
    for (const PicturePtr& picture : Pictures(carried)) room += kBlockHeaderBytes + picture->render().size();
    return room;
}

bool WriteOutputTags(const std::string& path, OutputFormat format, const Id3TagSet& fields,
                     const CarriedFrames& carried, const std::string& provenance)
{
    using OpusFile = TagLib::Ogg::Opus::File;
    using VorbisFile = TagLib::Ogg::Vorbis::File;
    switch (format) {
    case OutputFormat::Flac: return WriteFlac(path, Comments(fields, carried, provenance), Pictures(carried));
    case OutputFormat::Opus: return WriteOgg<OpusFile>(path, Comments(fields, carried, provenance), Pictures(carried));
    case OutputFormat::Vorbis:
        return WriteOgg<VorbisFile>(path, Comments(fields, carried, provenance), Pictures(carried));
    case OutputFormat::Wav: return provenance.empty() && WriteWav(path, fields, carried);
    case OutputFormat::Mp3: break;
    }
    return false;
}

std::optional<std::string> ReadProvenanceComment(const std::string& path)
{
    std::array<uint8_t, 4> magic{};
    try {
        if (File(path, File::Mode::Read).ReadAt(0, magic) != magic.size()) return std::nullopt;
    } catch (const FileError&) {
        return std::nullopt;
    }
    const std::string_view opening(reinterpret_cast<const char*>(magic.data()), magic.size());
    if (opening == kFlacMagic) {
        TagLib::FLAC::File file(path.c_str(), false);
        return file.isValid() ? ProvenanceIn(file.xiphComment(false)) : std::nullopt;
    }
    if (opening != kOggMagic) return std::nullopt;
    // An Opus stream is no Vorbis stream, and the other way round: TagLib refuses the wrong one.
    if (std::optional<std::string> opus = OggProvenance<TagLib::Ogg::Opus::File>(path)) return opus;
    return OggProvenance<TagLib::Ogg::Vorbis::File>(path);
}

}  // namespace varnook
