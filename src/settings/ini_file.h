// Reading and writing single values of the settings file: an INI file with one section,
// keys matched without regard to case. Nothing is cached; every call goes to the file.
// Depends on io/ and the host (the error box of a failed write); it knows nothing of the Run
// settings or their keys.
#pragma once

#include <string>

namespace varnook {

class Host;

// The key's value (cut to 254 characters), or `defaultValue` when the file, the section or the
// key is missing. A key present with an empty value gives the empty text. Never writes a file.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& defaultValue);

// Stores the value, creating the file and section when missing and keeping every other line.
// The file is replaced atomically. On failure shows the error box
// "Error in writing to file <file>;  Section: <section>;  Key: <key>;  Value: <value>".
void WriteIni(Host& host, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value);

}  // namespace varnook
