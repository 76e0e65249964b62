// The argument vector handed to lame, built as a pure function of the options, the tag sets and
// the paths, so its order and texts can be checked without running anything.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "base/id3_tags.h"

namespace varnook {

inline constexpr const char* kDecodeOption = "--decode";

// The words of an encoder options text: split at blanks and tabs, double quotes grouping words
// (the quotes themselves are dropped; "" is an empty word).
std::vector<std::string> SplitArguments(const std::string& text);

// Everything after the program name: for any options but exactly "--decode", the tag options
// ("--add-id3v2", "--pad-id3v2", "--ignore-tag-errors", then "--tt" title, "--ta" artist, "--tl"
// album, "--ty" year, "--tn" track, "--tg" genre, "--tc" comment for each field keepTag selects
// that has a text, the version 2 text before the version 1 text); then the option words, the
// input and the temporary output. Each tag text is one argument, unchanged.
std::vector<std::string> LameArguments(const std::array<bool, 7>& keepTag, const Id3TagSet& v2,
                                       const Id3TagSet& v1, const std::string& options,
                                       const std::string& inFile, const std::string& tempOut);

}  // namespace varnook
