// Carrying a source's whole tag into the MP3 that lame made from it: every frame the seven
// fields did not already carry, pictures byte for byte. Uses TagLib to read the frames (one by
// one, so a broken frame costs that frame only; compressed ones are inflated first, see
// compressed_frame.h) and to write them into the new file's ID3v2 tag, which stays version 2.3
// as lame wrote it (TagLib turns 2.2 frames such as PIC into their 2.3 forms on the way; the few
// 2.4 frames 2.3 has no place for are left out by TagLib). A source with Vorbis comments (FLAC,
// Ogg) has them read as frames through the table of tag_mapping.h. The frames chosen here go
// into the other outputs too (output_tags.h).
//
// Not carried:
// - the seven fields' frames (title, artist, album, year, track, genre, and the comment the
//   Comment field reads): the encoder wrote them from the tag sets and the user's choices. A
//   frame the readers of the seven fields pass over (compressed, or with other format flags) is
//   carried, since the encoder got nothing from it (the tag choices are not known here, so this
//   holds for a field turned off too);
// - what the new encode makes false: ReplayGain and R128 gain texts, RVA2, RVAD, RGAD and the
//   iTunNORM comment (the gain is now in the samples), the iTunSMPB comment (the old encode's
//   delay and padding), TLEN, TSSE, TENC and ENCODER texts (the new file has its own), and the
//   source's provenance (a copied output taken as a source: it names another source);
// - a frame the new file already holds (lame's own comments).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace TagLib::ID3v2 {
class Frame;
}

namespace varnook {

// The frames of one source to carry, read before lame runs so that lame can be asked to leave
// room for them in its tag: written into that room they cost their own bytes only, where a tag
// that outgrows its room moves the whole audio behind it.
class CarriedFrames {
public:
    // Reads the frames of `sourcePath`'s tag (see source_tags.h for the formats).
    explicit CarriedFrames(const std::string& sourcePath);
    // Nothing to carry (the source's tag is not wanted, KeepAllTags off): WriteInto only mends
    // lame's comments.
    CarriedFrames();
    ~CarriedFrames();
    CarriedFrames(CarriedFrames&&) noexcept;
    CarriedFrames& operator=(CarriedFrames&&) noexcept;

    // The padding to ask of lame ("--pad-id3v2-size"): the frames' size in lame's 2.3 tag and a
    // little to spare; 0 when there is nothing to carry or more than lame would pad.
    size_t RoomNeeded() const;
    // The identifiers of the source's frames that were broken and left out, in tag order.
    const std::vector<std::string>& BrokenFrames() const;
    // The frames, for the tags of the other outputs (output_tags.h).
    const std::vector<std::unique_ptr<TagLib::ID3v2::Frame>>& Carried() const;
    // Adds the frames to the ID3v2 tag at the start of `newMp3` (once: they move into it), in
    // place, and writes lame's comment frames again with the byte order mark lame leaves out of
    // their empty description. True when there was nothing to do or the file was written. False
    // when it could not be read or written: it may then be cut short or half moved and must not
    // be used (it is lame's temporary file, never an output).
    bool WriteInto(const std::string& newMp3);

private:
    struct Frames;
    std::unique_ptr<Frames> frames_;
};

}  // namespace varnook
