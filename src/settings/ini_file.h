// Reading and writing single values of the settings file: an INI file with one section,
// keys matched without regard to case. Nothing is cached; every call goes to the file.
// Depends on io/ and the host (the error box of a failed write); it knows nothing of the Run
// settings or their keys.
#pragma once

#include <cstdint>
#include <string>

namespace varnook {

class Host;

// The largest settings file read: far above any real one (a few hundred bytes), low enough that
// a file grown by accident is refused instead of read once for every key.
inline constexpr int64_t kMaxIniFileBytes = 1 << 20;

// Why `file` cannot serve as the settings file ("is not a regular file", "is larger than 1 MiB"),
// or the empty text when it can or does not exist. Asked without opening the file, so a FIFO in
// its place never blocks.
std::string IniFileProblem(const std::string& file);

// The key's value (cut to 254 characters), or `defaultValue` when the file, the section or the
// key is missing, or the file has a problem (see IniFileProblem). A key present with an empty
// value gives the empty text. Never writes a file.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue);

// Stores the value, creating the file and section when missing and keeping every other line.
// The file is replaced atomically. On failure shows the error box
// "Error in writing to file <file>;  Section: <section>;  Key: <key>;  Value: <value>".
void WriteIni(Host& host, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value);

}  // namespace varnook
