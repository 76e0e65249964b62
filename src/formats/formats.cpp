#include "formats/formats.h"

#include <algorithm>
#include <array>
#include <vector>

#include "io/paths.h"
#include "io/text.h"

namespace varnook {
namespace {

// Varnook writes the leveled WAV, lame's MP3, and FLAC, Opus and Ogg Vorbis through their
// libraries; an Ogg Vorbis output is ".ogg", the name its players expect. Ogg FLAC, which
// shares ".oga" with Ogg Vorbis, is not among the sources: libsndfile does not read it.
constexpr std::array<Format, 9> kFormats{{
    {".wav", "WAV", FormatKind::Wav, TagReader::Chunks, "audio/x-wav", Access::ReadWrite, OutputFormat::Wav},
    {".mp3", "MP3", FormatKind::Mp3, TagReader::Id3, "audio/mpeg", Access::ReadWrite, OutputFormat::Mp3},
    {".flac", "FLAC", FormatKind::Converted, TagReader::TagLib, "audio/flac", Access::ReadWrite, OutputFormat::Flac},
    {".ogg", "Ogg Vorbis", FormatKind::Converted, TagReader::TagLib, "audio/x-vorbis+ogg", Access::ReadWrite,
     OutputFormat::Vorbis},
    {".oga", "Ogg Vorbis", FormatKind::Converted, TagReader::TagLib, "audio/ogg", Access::Read},
    {".opus", "Opus", FormatKind::Converted, TagReader::TagLib, "audio/x-opus+ogg", Access::ReadWrite,
     OutputFormat::Opus},
    {".aif", "AIFF", FormatKind::Converted, TagReader::Chunks, "audio/x-aiff", Access::Read},
    {".aiff", "AIFF", FormatKind::Converted, TagReader::Chunks, "audio/x-aiff", Access::Read},
    {".aifc", "AIFF-C", FormatKind::Converted, TagReader::Chunks, "audio/x-aifc", Access::Read},
}};

// A row writes exactly when it says what it writes, and every output format has a row.
constexpr bool OutputsAgreeWithWriteFlags()
{
    for (const Format& format : kFormats)
        if (format.Writes() != format.Output.has_value()) return false;
    for (size_t i = 0; i < kOutputFormatNames.size(); ++i) {
        if (std::ranges::none_of(kFormats, [i](const Format& f) { return f.Output == static_cast<OutputFormat>(i); }))
            return false;
    }
    return true;
}
static_assert(OutputsAgreeWithWriteFlags());

// A text into lines of at most `width` characters, broken at blanks (a longer word stands on
// a line of its own).
std::string Wrap(std::string_view text, size_t width)
{
    std::string wrapped, line;
    for (size_t start = 0; start < text.size();) {
        const size_t blank = std::min(text.find(' ', start), text.size());
        const std::string_view word = text.substr(start, blank - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            wrapped += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + std::string(word);
        start = blank + 1;
    }
    return line.empty() ? wrapped : wrapped + line + "\n";
}

}  // namespace

std::span<const Format> Formats()
{
    return kFormats;
}

const Format* FindFormat(std::string_view ext)
{
    const auto found = std::ranges::find_if(kFormats, [&](const Format& f) { return EqualsNoCase(ext, f.Ext); });
    return found == kFormats.end() ? nullptr : &*found;
}

const Format* FormatOf(const std::string& path)
{
    const std::string ext = SplitPath(path).Ext;
    return ext.empty() ? nullptr : FindFormat(ext);
}

std::string_view OutputExtension(OutputFormat format)
{
    return std::ranges::find(kFormats, std::optional(format), &Format::Output)->Ext;
}

bool TakesAsSource(const std::string& path)
{
    const Format* format = FormatOf(path);
    return format != nullptr && format->Reads();
}

std::string SourceFormatsSentence(size_t width)
{
    // One entry per format, its extensions gathered: "AIFF (.aif, .aiff)".
    std::vector<std::string> entries;
    std::string_view lastName;
    for (const Format& format : kFormats) {
        if (!format.Reads()) continue;
        if (format.Name == lastName) {
            entries.back().insert(entries.back().size() - 1, ", " + std::string(format.Ext));
            continue;
        }
        entries.push_back(std::string(format.Name) + " (" + std::string(format.Ext) + ")");
        lastName = format.Name;
    }
    std::string sentence = "Reads ";
    for (size_t i = 0; i < entries.size(); ++i)
        sentence += entries[i] + (i + 2 < entries.size() ? ", " : i + 2 == entries.size() ? " and " : "");
    return Wrap(sentence + ", named on their own or found in a folder; the extension decides, in any letter case.",
                width);
}

}  // namespace varnook
