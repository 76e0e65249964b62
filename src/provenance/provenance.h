// Provenance: what an output was made from, kept inside the output itself so that moving a
// folder keeps it. A re-run with "SkipDone" on compares it with what the file would be made
// from now, and passes over an output that is up to date. Uses io/, the Run settings, the key table
// (settings/), whose rows say which values shape an output, and id3/'s reader of Vorbis comments.
//
// An MP3 output carries it as an ID3v2 TXXX frame (lame writes it, given the option below); a
// WAV output as a chunk of our own after the samples, which players pass over as they must any
// chunk they do not know; a FLAC, Opus or Ogg Vorbis output as a Vorbis comment (id3/ writes and
// reads it with the other tags).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnook {

struct RunSettings;

// A hash of every setting that shapes the audio or the tags of an output (every row of the key
// table but those marked otherwise), as 16 hex digits.
std::string SettingsHash(const RunSettings& settings);

// The provenance of an output made now from `sourcePath` with `settings` by this version:
// the version, the settings hash and the source's size and modification time. Empty when the
// source cannot be looked up.
std::string ProvenanceText(const RunSettings& settings, const std::string& sourcePath);

// The lame options that put `text` into the encoded file's ID3v2 tag.
std::vector<std::string> ProvenanceLameOptions(const std::string& text);

// Gives the WAV file at `path` the provenance `text` as a chunk after everything else, or none
// when `text` is empty, and mends the RIFF size. A chunk the file had already (its source's: a
// copied output taken as a source) is taken out either way: it names another source and other
// settings, and a reader would find it first. Throws FileError.
void MarkWavProvenance(const std::string& path, const std::string& text);

// The provenance an output carries: its ID3v2 TXXX frame when it begins with an ID3v2 tag,
// else its WAV chunk, else its Vorbis comment. Empty when it has none or cannot be read.
std::optional<std::string> ReadProvenance(const std::string& path);

// True when `outputPath` exists, is newer than `sourcePath` and carries `expected`.
bool UpToDate(const std::string& outputPath, const std::string& sourcePath, const std::string& expected);

// In album mode a track's provenance goes on with its album: " album " and a hash of every
// member's file name (without its folder, so a library that moves stays up to date), size and
// modification time, so that adding, removing or changing one track makes every track of the
// album due again. Empty when a member cannot be looked up.
std::string AlbumProvenanceText(const std::vector<std::string>& memberPaths);

// What ends the provenance once the album's gain is known: " gain " and the gain, exactly.
std::string AlbumGainText(double gain);

// The album gain `outputPath` carries when it is up to date as UpToDate has it, its provenance
// being `expected` (the album's included) followed by AlbumGainText; none otherwise.
std::optional<double> UpToDateAlbumGain(const std::string& outputPath, const std::string& sourcePath,
                                        const std::string& expected);

}  // namespace varnook
