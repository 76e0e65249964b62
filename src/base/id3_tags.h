// The ID3 tag set: the seven texts carried over when an MP3 is encoded again. Texts are UTF-8.
#pragma once

#include <array>
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

// The fields in the order of KeepTag's indexes (TagIndex in base/run_settings.h).
inline constexpr std::array<std::string Id3TagSet::*, 7> kKeepTagFields{
    &Id3TagSet::Title, &Id3TagSet::Artist, &Id3TagSet::Album, &Id3TagSet::Year,
    &Id3TagSet::Track, &Id3TagSet::Genre,  &Id3TagSet::Comment};

// The texts an output carries of the seven fields: each field `keepTag` selects, the version 2
// text where it has one, else the version 1 text; the others empty.
inline Id3TagSet KeptTags(const std::array<bool, 7>& keepTag, const Id3TagSet& v2, const Id3TagSet& v1)
{
    Id3TagSet kept;
    for (size_t i = 0; i < kKeepTagFields.size(); ++i) {
        if (!keepTag[i]) continue;
        const std::string& preferred = v2.*kKeepTagFields[i];
        kept.*kKeepTagFields[i] = preferred.empty() ? v1.*kKeepTagFields[i] : preferred;
    }
    return kept;
}

}  // namespace varnook
