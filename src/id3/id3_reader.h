// The ID3 tag readers. They never write to the file and never report; a file error gives
// the empty set.
#pragma once

#include <string>

#include "id3/id3_tags.h"

namespace varnook {

Id3TagSet GetId3v1(const std::string& path);
Id3TagSet GetId3v2(const std::string& path);

}  // namespace varnook
