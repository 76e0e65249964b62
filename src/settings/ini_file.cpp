#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "io/exist_file.h"
#include "base/host.h"
#include "io/errors.h"
#include "io/file.h"
#include "io/safe_replace.h"
#include "io/text.h"

namespace varnook {

namespace {

// Values have always been read through a buffer of 255 characters, terminating zero included;
// a longer stored text loads cut, and settings files written over the years rely on that.
constexpr size_t kMaxValueChars = 254;
constexpr size_t kReadBlockBytes = 64 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr int kTempNameAttempts = 16;

// How many bytes the character at text[i] takes: the length of a well-formed UTF-8 sequence,
// or 1 for a byte that starts none (a stray continuation byte, an invalid lead, a sequence cut
// short), so that no run of bytes can pass for a single character.
size_t Utf8CharBytes(std::string_view text, size_t i)
{
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (text.size() - i < length) return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

// The first `maxChars` characters of a UTF-8 text; a character is never split, and stray
// bytes that are not valid UTF-8 count one each.
std::string CutToChars(std::string_view text, size_t maxChars)
{
    size_t i = 0;
    for (size_t chars = 0; chars < maxChars && i < text.size(); ++chars) i += Utf8CharBytes(text, i);
    return std::string(text.substr(0, i));
}

// One line of the file as it stands, without its line end.
struct Line {
    std::string_view text;
    bool endsWithCr = false;  // the line ended in CR LF
};

// The file split into lines. A final line without a line end is still a line; an empty file
// has none.
std::vector<Line> SplitLines(std::string_view content)
{
    std::vector<Line> lines;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        std::string_view text = content.substr(0, end);
        Line line;
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            line.endsWithCr = true;
        }
        line.text = text;
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        content.remove_prefix(end + 1);
    }
    return lines;
}

// "[name]" (blanks allowed around and inside the brackets) gives the name; any other line gives
// nothing.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = TrimBlanks(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

// "key=value" with blanks around either part; comment lines and lines without "=" give nothing.
std::optional<KeyValue> SplitKeyValue(std::string_view line)
{
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return std::nullopt;
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyValue{TrimBlanks(trimmed.substr(0, equals)), TrimBlanks(trimmed.substr(equals + 1))};
}

// Where a key stands in the file: the line of its first occurrence in a section of the given
// name, and the line after which a new key of that section belongs.
struct KeyPlace {
    std::optional<size_t> keyLine;
    std::optional<size_t> sectionEnd;  // last key line (or the header) of the first such section
};

KeyPlace FindKey(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    KeyPlace place;
    bool inSection = false;
    bool inFirstSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionName(lines[i].text)) {
            inSection = EqualsNoCase(*name, section);
            inFirstSection = inSection && !place.sectionEnd;
            if (inFirstSection) place.sectionEnd = i;
            continue;
        }
        if (!inSection) continue;
        const auto entry = SplitKeyValue(lines[i].text);
        if (!entry) continue;
        if (inFirstSection) place.sectionEnd = i;
        if (!place.keyLine && EqualsNoCase(entry->key, key)) place.keyLine = i;
    }
    return place;
}

std::string ReadWholeFile(const std::string& path)
{
    File file(path, File::Mode::Read);
    // The size is checked again as the file is read: it may grow in between.
    const auto tooLarge = [] { return FileError(file_errors::kPathFileAccess, "Settings file larger than 1 MiB"); };
    if (file.Size() > kMaxIniFileBytes) throw tooLarge();
    std::string content;
    // Read in blocks to the end rather than trust a size taken before: the file may change.
    std::vector<uint8_t> block(kReadBlockBytes);
    int64_t offset = 0;
    for (;;) {
        const size_t got = file.ReadAt(offset, block);
        if (got == 0) break;
        content.append(reinterpret_cast<const char*>(block.data()), got);
        offset += static_cast<int64_t>(got);
        if (offset > kMaxIniFileBytes) throw tooLarge();
    }
    return content;
}

std::string_view WithoutBom(std::string_view content)
{
    if (content.substr(0, kUtf8Bom.size()) == kUtf8Bom) content.remove_prefix(kUtf8Bom.size());
    return content;
}

// A line of ours must stay one line, whatever the value holds.
std::string OneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return line;
}

std::string NewContent(std::string_view oldContent, const std::string& section, const std::string& key,
                       const std::string& value)
{
    const bool hasBom = oldContent.substr(0, kUtf8Bom.size()) == kUtf8Bom;
    const std::string_view body = WithoutBom(oldContent);
    const std::vector<Line> lines = SplitLines(body);
    // New lines follow the file's own line ends, so a file edited on another system stays whole.
    const std::string_view eol = (!lines.empty() && lines.front().endsWithCr) ? "\r\n" : "\n";
    const std::string keyLine = OneLine(key) + "=" + OneLine(value);
    const KeyPlace place = FindKey(lines, section, key);

    std::string out(hasBom ? kUtf8Bom : std::string_view());
    const auto appendLine = [&out](const Line& line) {
        out += line.text;
        out += line.endsWithCr ? "\r\n" : "\n";
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        if (place.keyLine == i) {
            out += keyLine;
            out += lines[i].endsWithCr ? "\r\n" : "\n";
        } else {
            appendLine(lines[i]);
        }
        if (!place.keyLine && place.sectionEnd == i) {
            out += keyLine;
            out += eol;
        }
    }
    if (!place.sectionEnd) {
        out += "[" + OneLine(section) + "]";
        out += eol;
        out += keyLine;
        out += eol;
    }
    return out;
}

// The file a write really replaces: a settings file that is a symbolic link keeps being one,
// and the file it points to gets the new text.
std::string WriteTarget(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto target = std::filesystem::canonical(path, ec);
        if (!ec) return target.string();
    }
    return path;
}

// A new file beside `target` with a name nobody else uses, created with the usual permissions
// (0666 less the umask) so that a new settings file gets what any new file would.
File CreateTempBeside(const std::string& target)
{
    std::random_device entropy;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::string tempPath = target + "." + std::to_string(entropy()) + ".tmp";
        int fd;
        do {
            fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            ::close(fd);
            return File(tempPath, File::Mode::ReadWrite);
        }
        if (errno != EEXIST) ThrowFileErrorFromErrno();
    }
    throw FileError(file_errors::kFileExists, FileErrorText(file_errors::kFileExists));
}

// Replaces the target's text in one step, keeping the old file's mode and owner.
void ReplaceFile(const std::string& target, const std::string& content, const struct stat* oldStat)
{
    ReplaceThroughTemp(CreateTempBeside(target), target, [&](File& temp) {
        temp.WriteAt(0, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
        if (oldStat) {
            if (::fchmod(temp.Descriptor(), oldStat->st_mode & 07777) != 0) ThrowFileErrorFromErrno();
            // Keeps the owner when we may (root editing a user's file). Someone who may not give
            // files away ends up owning the new file, as any rewrite by them would.
            if (::fchown(temp.Descriptor(), oldStat->st_uid, oldStat->st_gid) != 0 && errno != EPERM)
                ThrowFileErrorFromErrno();
        }
    });
    try {
        SyncFolderOf(target);
    } catch (const FileError&) {
        // The new text is in place; that its name also outlives a power cut is best effort.
    }
}

void WriteValue(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value)
{
    const std::string target = WriteTarget(file);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        throw FileError(file_errors::kPathFileAccess, FileErrorText(file_errors::kPathFileAccess));
    const std::string oldContent = exists ? ReadWholeFile(target) : std::string();
    if (!exists) {
        // The settings file's own folder (say ~/.config/varnook) may not be there yet on a
        // first write; the file's folder is part of creating the file.
        const std::filesystem::path folder = std::filesystem::path(target).parent_path();
        std::error_code ec;
        if (!folder.empty() && !std::filesystem::exists(folder, ec)) std::filesystem::create_directories(folder, ec);
    }
    ReplaceFile(target, NewContent(oldContent, section, key, value), exists ? &st : nullptr);
}

}  // namespace

std::string IniFileProblem(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    if (st.st_size > kMaxIniFileBytes) return "is larger than 1 MiB";
    return {};
}

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue)
{
    if (!ExistFile(file) || !IniFileProblem(file).empty()) return defaultValue;
    std::string content;
    try {
        content = ReadWholeFile(file);
    } catch (const FileError&) {
        return defaultValue;  // an unreadable settings file reads like a missing one
    }
    const std::vector<Line> lines = SplitLines(WithoutBom(content));
    const KeyPlace place = FindKey(lines, section, key);
    if (!place.keyLine) return defaultValue;
    return CutToChars(SplitKeyValue(lines[*place.keyLine].text)->value, kMaxValueChars);
}

void WriteIni(Host& host, const std::string& file, const std::string& section, const std::string& key,
              const std::string& value)
{
    try {
        WriteValue(file, section, key, value);
    } catch (const std::exception&) {
        // Whatever stopped the write, the file lacks the value; the caller goes on regardless.
        host.ErrorBox("Error in writing to file " + file + ";  Section: " + section + ";  Key: " + key +
                      ";  Value: " + value);
    }
}

}  // namespace varnook
