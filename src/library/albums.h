// Album mode: the files of a run grouped into albums, each leveled by one gain worked out from
// all of its tracks, so that a quiet track stays quiet beside its loud neighbours. The run loop
// takes an album's tracks together; each track is analysed once, in a job of its own, and waits
// (see AlbumLink) until every track of its album has been measured, giving up its place among
// the jobs meanwhile so that other files go on. The album's gain pools what its tracks measured:
// their 50 ms windows for rg1, their gating blocks for r128. Knows nothing of threads but the
// waits the run loop hands it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/run_settings.h"
#include "pipeline/album_link.h"

namespace varnook {

class StopRequest;
struct ReportRow;
struct RunItem;

// True when a run under `settings` levels by albums: an album mode is chosen, and the analysis
// and the leveling are on (without them there is no gain to share).
bool AlbumsAsked(const RunSettings& settings);

// The album gain of tracks measured under `settings`: the recommended gain of all their windows
// pooled into one table (rg1), or the gain to Target of the loudness of all their gating blocks
// gated together (r128). Under a true-peak ceiling it is lowered as a whole, so that the loudest
// true peak of any track, leveled by it plus NewLevel, stays at the ceiling.
double AlbumGain(const std::vector<TrackMeasure>& tracks, const RunSettings& settings);

class AlbumStage {
public:
    // How a track waits for the rest of its album without keeping a job from the run: Parked
    // gives its place to another file, Unparked returns once it has a place again.
    struct Waits {
        std::function<void()> Parked;
        std::function<void()> Unparked;
    };

    // Groups the `tracks` (indexes into `items`, in order) under settings.Album: by folder, the
    // sources of one folder; by tag, the sources of one album and album artist wherever they lie,
    // each source without an album tag an album of its own. Any other item is in no album. Reads
    // every track's tags for that.
    AlbumStage(const std::vector<RunItem>& items, const std::vector<size_t>& tracks, const RunSettings& settings,
               std::shared_ptr<const StopRequest> stop, Waits waits);
    ~AlbumStage();
    AlbumStage(const AlbumStage&) = delete;
    AlbumStage& operator=(const AlbumStage&) = delete;

    // The `files` (items, in order) in the order to take them: album by album in the order of
    // their first tracks, the tracks of one in the order of the sources, a file in no album where
    // it stands.
    std::vector<size_t> TakingOrder(const std::vector<size_t>& files) const;
    // The link the item's file gets in its request; null for a missing source.
    std::shared_ptr<AlbumLink> LinkOf(size_t index) const;

    // The item's file has ended: a track that was never measured holds its album up no longer.
    void Ended(size_t index);
    // True when the item's block can be shown: the first track of an album waits for the album's
    // gain (or a stop).
    bool Ready(size_t index) const;
    // Before the first track's block: "Album: <name> (<n> files)" and, when the album has one,
    // "Album gain: <x> dB". Nothing before any other block.
    std::vector<std::string> HeadLines(size_t index, char decimalSeparator) const;
    // The album's name and gain in the item's report row.
    void Describe(size_t index, ReportRow& facts) const;

private:
    class Track;
    struct Album;
    struct Shared;

    std::shared_ptr<Shared> shared_;
};

}  // namespace varnook
