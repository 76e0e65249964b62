// What a track of an album tells its album and hears back. An album (library/albums.h) levels
// every track by one gain, which it can work out only once each of its tracks has been measured:
// the pipeline hands the track's measure over and waits, then levels the track by the album's
// gain. How the tracks are scheduled meanwhile is the album's business, not the pipeline's.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnook {

struct GatingBlocks;

// What the analysis found of one track, in the form an album pools it.
struct TrackMeasure {
    double RecommendedGain = 0;                           // the track's own
    std::vector<double> Windows;                          // rg1: its 50 ms windows' mean squares
    std::shared_ptr<const GatingBlocks> Blocks = nullptr;  // r128: its gating blocks
    std::optional<double> TruePeak;                       // under a ceiling: its true peak, dBTP
};

class AlbumLink {
public:
    virtual ~AlbumLink() = default;

    // What the provenance of the track's output adds for its album (its members), before the
    // album's gain is known; see AlbumProvenanceText.
    virtual std::string Provenance() const = 0;
    // True when every track of the album has an output that is up to date with one album gain:
    // the album is passed over whole. Otherwise every track is made again, up to date or not, so
    // that the album's gain comes from all of its tracks.
    virtual bool UpToDate() const = 0;
    // Hands over the track's measure and waits until every track of the album has been measured
    // or has ended otherwise. The album's gain (without NewLevel; lowered as a whole under a
    // true-peak ceiling), or none when a stop came first.
    virtual std::optional<double> Gain(TrackMeasure measure) = 0;
};

}  // namespace varnook
