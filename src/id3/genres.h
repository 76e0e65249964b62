// The genre names an ID3v1 tag refers to by index: the original list with the extensions later
// added to it, 148 names in all. Kept as the one list text it is published as and split at
// compile time, so a name can never slip out of place.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace varnook {

inline constexpr size_t kGenreCount = 148;

inline constexpr std::string_view kGenreList =
    "Blues|Classic Rock|Country|Dance|Disco|Funk|Grunge|Hip-Hop|Jazz|Metal|New Age|Oldies|Other|"
    "Pop|R&B|Rap|Reggae|Rock|Techno|Industrial|Alternative|Ska|Death Metal|Pranks|Soundtrack|"
    "Euro-Techno|Ambient|Trip-Hop|Vocal|Jazz+Funk|Fusion|Trance|Classical|Instrumental|Acid|House|"
    "Game|Sound Clip|Gospel|Noise|Alternative Rock|Bass|Soul|Punk|Space|Meditative|"
    "Instrumental Pop|Instrumental Rock|Ethnic|Gothic|Darkwave|Techno-Industrial|Electronic|"
    "Pop-Folk|Eurodance|Dream|Southern Rock|Comedy|Cult|Gangsta|Top 40|Christian Rap|Pop/Funk|"
    "Jungle|Native US|Cabaret|New Wave|Psychadelic|Rave|Showtunes|Trailer|Lo-Fi|Tribal|Acid Punk|"
    "Acid Jazz|Polka|Retro|Musical|Rock & Roll|Hard Rock|Folk|Folk-Rock|National Folk|Swing|"
    "Fast Fusion|Bebob|Latin|Revival|Celtic|Bluegrass|Avantgarde|Gothic Rock|Progressive Rock|"
    "Psychedelic Rock|Symphonic Rock|Slow Rock|Big Band|Chorus|Easy Listening|Acoustic|Humour|"
    "Speech|Chanson|Opera|Chamber Music|Sonata|Symphony|Booty Bass|Primus|Porn Groove|Satire|"
    "Slow Jam|Club|Tango|Samba|Folklore|Ballad|Power Ballad|Rhytmic Soul|Freestyle|Duet|"
    "Punk Rock|Drum Solo|Acapella|Euro-House|Dance Hall|Goa|Drum & Bass|Club-House|Hardcore|"
    "Terror|Indie|BritPop|Negerpunk|Polsk Punk|Beat|Christian Gangsta Rap|Heavy Metal|"
    "Black Metal|Crossover|Contemporary Christian|Christian Rock|Merengue|Salsa|Trash Metal|Anime|"
    "Jpop|Synthpop";

namespace detail {

// A wrong count stops the build: the throw cannot be evaluated in a constant expression.
consteval std::array<std::string_view, kGenreCount> SplitGenreList()
{
    std::array<std::string_view, kGenreCount> names{};
    size_t count = 0;
    size_t start = 0;
    for (size_t i = 0; i <= kGenreList.size(); ++i) {
        if (i < kGenreList.size() && kGenreList[i] != '|') continue;
        if (count == kGenreCount) throw "the genre list holds more names than kGenreCount";
        names[count++] = kGenreList.substr(start, i - start);
        start = i + 1;
    }
    if (count != kGenreCount) throw "the genre list holds fewer names than kGenreCount";
    return names;
}

}  // namespace detail

// Genres[17] is "Rock"; an index of 148 or more names no genre.
inline constexpr std::array<std::string_view, kGenreCount> Genres = detail::SplitGenreList();

}  // namespace varnook
