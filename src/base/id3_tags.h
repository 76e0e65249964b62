// The ID3 tag set: the seven texts carried over when an MP3 is encoded again. Texts are UTF-8.
#pragma once

#include <string>

namespace varnook {

// Every field is empty until a reader fills it; the braces let a set be written with designated
// initializers that name only the fields it holds.
struct Id3TagSet {
    std::string Title{};
    std::string Artist{};
    std::string Album{};
    std::string Year{};
    std::string Comment{};
    std::string Genre{};
    std::string Track{};

    bool operator==(const Id3TagSet&) const = default;
};

}  // namespace varnook
