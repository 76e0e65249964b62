// The formats Varnook takes, one row per file extension: the one place that says which files a
// folder walk takes and the window keeps from a drop, which way the pipeline sends a source,
// which reader gives its tags, and what --help, the manual page and the desktop files in data/
// list (a test holds those copies to this table). A row also says whether Varnook reads the
// format, writes it, or both, so that an output format is a row, not another list.
// A leaf: depends on the standard library, base/'s list of output formats and io/ only.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/output_format.h"

namespace varnook {

// The way the pipeline takes a source of the format.
enum class FormatKind {
    Mp3,        // decoded by lame
    Wav,        // worked on as it is when the header check takes it, converted otherwise
    Converted,  // converted to a 16-bit work WAV first
};

// Which of id3/'s readers gives a source's tags.
enum class TagReader {
    Id3,     // Varnook's own ID3v1 and ID3v2 readers
    Chunks,  // the LIST/INFO and ID3 chunks of a RIFF (WAV) or IFF (AIFF) file
    TagLib,  // the format's own tag through TagLib (FLAC and Ogg's Vorbis comments, ...)
};

enum class Access : unsigned { Read = 1, Write = 2, ReadWrite = Read | Write };

struct Format {
    std::string_view Ext;   // with its dot, lower case
    std::string_view Name;  // as people call it; the extensions of one format share it
    FormatKind Kind;
    TagReader Tags;
    std::string_view Mime;  // the type the shared MIME database gives the extension
    Access Use;
    // What Varnook writes under the extension: set exactly for the rows that write.
    std::optional<OutputFormat> Output = std::nullopt;

    constexpr bool Reads() const { return (static_cast<unsigned>(Use) & static_cast<unsigned>(Access::Read)) != 0; }
    constexpr bool Writes() const { return (static_cast<unsigned>(Use) & static_cast<unsigned>(Access::Write)) != 0; }
};

// Every row, in the order --help and the desktop files list them.
std::span<const Format> Formats();

// The row of an extension (with its dot, any letter case); nullptr when there is none.
const Format* FindFormat(std::string_view ext);
// The row of a path's extension; nullptr when it has none or the table does not know it.
const Format* FormatOf(const std::string& path);

// The extension an output of `format` gets when nothing names one: its first row's.
std::string_view OutputExtension(OutputFormat format);

// True when Varnook takes the file as a source: the table knows its extension and reads it.
bool TakesAsSource(const std::string& path);

// The sentence of --help that names the formats read and their extensions, in lines of at most
// `width` characters, each ending in "\n".
std::string SourceFormatsSentence(size_t width);

}  // namespace varnook
