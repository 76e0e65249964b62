#include "library/albums.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "analysis/analysis.h"
#include "base/stop_request.h"
#include "id3/source_tags.h"
#include "io/numbers.h"
#include "io/paths.h"
#include "library/sources.h"
#include "loudness/loudness.h"
#include "pipeline/output_naming.h"
#include "provenance/provenance.h"
#include "report/report_writer.h"

namespace varnook {
namespace {

// How often a waiting track looks for a stop: soon enough for Ctrl+C to feel immediate.
constexpr std::chrono::milliseconds kStopPollInterval{20};
constexpr size_t kNoAlbum = SIZE_MAX;

// The folder a source lies in, as the album's name and, resolved, as what tells albums apart,
// so that two spellings of one folder make one album.
std::string FolderName(const std::string& path)
{
    std::string folder = FolderOf(path);
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder.empty() ? "." : folder;
}

std::string FolderKey(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(FolderName(path), ec);
    return ec ? FolderName(path) : resolved.string();
}

}  // namespace

bool AlbumsAsked(const RunSettings& settings)
{
    return settings.Album != AlbumMode::Off && settings.Analyze && settings.Amplify;
}

double AlbumGain(const std::vector<TrackMeasure>& tracks, const RunSettings& settings)
{
    double gain = 0;
    if (settings.Loudness == LoudnessMode::R128) {
        std::vector<std::shared_ptr<const GatingBlocks>> blocks;
        for (const TrackMeasure& track : tracks) blocks.push_back(track.Blocks);
        gain = R128Gain(settings.Target, PooledLoudness(blocks));
    } else {
        std::vector<double> windows;
        for (const TrackMeasure& track : tracks) windows.insert(windows.end(), track.Windows.begin(), track.Windows.end());
        gain = RecommendedGain(windows, settings.PinkRef, settings.RmsPercent, settings.RmsDiff);
    }
    // The whole album comes down by what its loudest peak needs, so its tracks keep their
    // levels to each other. Under a limiter, which keeps each track's peaks under the ceiling by
    // itself, this lowering is the one thing to leave out: the album's gain then stays as pooled.
    double loudestPeak = -HUGE_VAL;
    for (const TrackMeasure& track : tracks)
        if (track.TruePeak) loudestPeak = std::max(loudestPeak, *track.TruePeak);
    if (settings.Peaks == PeakMode::Gain && settings.TruePeak && std::isfinite(loudestPeak))
        gain = std::min(gain, *settings.TruePeak - loudestPeak - settings.NewLevel);
    return gain;
}

struct AlbumStage::Album {
    std::string Name;
    std::vector<size_t> Members;  // items, in the order of the sources

    // Under Shared::mutex.
    size_t Settled = 0;  // tracks measured, or ended without a measure
    std::map<size_t, TrackMeasure> Measures;  // by item, so they pool in one order whatever the jobs
    bool Complete = false;  // every track settled, the gain worked out
    std::optional<double> Gain;

    // Made once, by the first track that asks.
    std::once_flag Checked;
    std::string Provenance;
    bool UpToDate = false;
};

struct AlbumStage::Shared {
    Shared(const std::vector<RunItem>& items, const RunSettings& settings, std::shared_ptr<const StopRequest> stop,
           Waits waits)
        : items(items), settings(settings), stop(std::move(stop)), waits(std::move(waits)),
          albumOf(items.size(), kNoAlbum), settled(items.size(), false)
    {
    }

    const std::vector<RunItem>& items;
    RunSettings settings;
    std::shared_ptr<const StopRequest> stop;
    Waits waits;
    std::deque<Album> albums;  // a deque: an album's once_flag never moves
    std::vector<size_t> albumOf;  // by item: its album, or kNoAlbum

    std::mutex mutex;
    std::condition_variable completed;
    std::vector<bool> settled;  // by item

    Album* AlbumOf(size_t index) { return albumOf[index] == kNoAlbum ? nullptr : &albums[albumOf[index]]; }
    const Album* AlbumOf(size_t index) const
    {
        return albumOf[index] == kNoAlbum ? nullptr : &albums[albumOf[index]];
    }

    // Marks the track settled; true when it was the album's last. Under the mutex.
    bool Settle(Album& album, size_t index)
    {
        if (settled[index]) return false;
        settled[index] = true;
        return ++album.Settled == album.Members.size();
    }

    // Works out the gain of an album whose tracks have all settled, outside the lock: pooling
    // an hour of windows takes a moment that other albums need not wait for.
    void Complete(Album& album)
    {
        std::vector<TrackMeasure> measures;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            for (auto& [index, measure] : album.Measures) measures.push_back(std::move(measure));
            album.Measures.clear();
        }
        const std::optional<double> gain =
            measures.empty() ? std::nullopt : std::optional<double>(AlbumGain(measures, settings));
        const std::lock_guard<std::mutex> lock(mutex);
        // An album passed over whole keeps the gain its outputs carry.
        if (gain) album.Gain = gain;
        album.Complete = true;
        completed.notify_all();
    }

    // The album is up to date when every track's output carries its provenance with one album
    // gain; that gain is then the album's.
    void Check(Album& album)
    {
        if (!settings.SkipDone) return;
        std::vector<std::string> paths;
        for (const size_t member : album.Members) paths.push_back(items[member].Path);
        album.Provenance = AlbumProvenanceText(paths);
        if (album.Provenance.empty()) return;
        std::optional<double> gain;
        for (const size_t member : album.Members) {
            const RunItem& item = items[member];
            RunSettings own = settings;
            const OutputName output = NameOutput(item.Path, item.Dest, ChosenOutput(own), RealFileProbe());
            DeliverAs(own, output.Format);
            const std::string expected = ProvenanceText(own, item.Path);
            const std::optional<double> carried =
                expected.empty() ? std::nullopt : UpToDateAlbumGain(output.Path, item.Path, expected + album.Provenance);
            if (!carried || (gain && *gain != *carried)) return;
            gain = carried;
        }
        album.UpToDate = true;
        const std::lock_guard<std::mutex> lock(mutex);
        album.Gain = gain;
    }
};

class AlbumStage::Track final : public AlbumLink {
public:
    Track(std::shared_ptr<Shared> shared, size_t index) : shared_(std::move(shared)), index_(index) {}

    std::string Provenance() const override { return Checked().Provenance; }
    bool UpToDate() const override { return Checked().UpToDate; }

    std::optional<double> Gain(TrackMeasure measure) override
    {
        Shared& shared = *shared_;
        Album& album = *shared.AlbumOf(index_);
        bool last = false;
        {
            const std::lock_guard<std::mutex> lock(shared.mutex);
            album.Measures.emplace(index_, std::move(measure));
            last = shared.Settle(album, index_);
        }
        // The last track to be measured goes straight on, in the place it has.
        if (last) {
            shared.Complete(album);
        } else {
            shared.waits.Parked();
            {
                std::unique_lock<std::mutex> lock(shared.mutex);
                while (!album.Complete && !shared.stop->Requested())
                    shared.completed.wait_for(lock, kStopPollInterval);
            }
            shared.waits.Unparked();
        }
        if (shared.stop->Requested()) return std::nullopt;
        const std::lock_guard<std::mutex> lock(shared.mutex);
        return album.Gain;
    }

private:
    Album& Checked() const
    {
        Album& album = *shared_->AlbumOf(index_);
        std::call_once(album.Checked, [&] { shared_->Check(album); });
        return album;
    }

    std::shared_ptr<Shared> shared_;
    size_t index_;
};

AlbumStage::AlbumStage(const std::vector<RunItem>& items, const std::vector<size_t>& tracks,
                       const RunSettings& settings, std::shared_ptr<const StopRequest> stop, Waits waits)
    : shared_(std::make_shared<Shared>(items, settings, std::move(stop), std::move(waits)))
{
    Shared& shared = *shared_;
    std::map<std::pair<std::string, std::string>, size_t> found;
    for (const size_t i : tracks) {
        const RunItem& item = items[i];
        std::pair<std::string, std::string> key;
        std::string name;
        if (settings.Album == AlbumMode::Folder) {
            key = {FolderKey(item.Path), {}};
            name = FolderName(item.Path);
        } else {
            const AlbumTags tags = ReadAlbumTags(item.Path);
            key = {tags.Album, tags.Artist};
            name = tags.Artist.empty() ? tags.Album : tags.Artist + " - " + tags.Album;
            // A single: an album of its own, named after its file.
            if (tags.Album.empty()) key = {{}, std::to_string(i)};
            if (tags.Album.empty()) name = FileNameOf(item.Path);
        }
        const auto [at, added] = found.try_emplace(std::move(key), shared.albums.size());
        if (added) shared.albums.emplace_back().Name = std::move(name);
        shared.albums[at->second].Members.push_back(i);
        shared.albumOf[i] = at->second;
    }
}

AlbumStage::~AlbumStage() = default;

std::vector<size_t> AlbumStage::TakingOrder(const std::vector<size_t>& files) const
{
    std::vector<size_t> order;
    std::vector<bool> taken(shared_->albums.size(), false);
    for (const size_t i : files) {
        const size_t album = shared_->albumOf[i];
        if (album == kNoAlbum) {
            order.push_back(i);
        } else if (!taken[album]) {
            taken[album] = true;
            const std::vector<size_t>& members = shared_->albums[album].Members;
            order.insert(order.end(), members.begin(), members.end());
        }
    }
    return order;
}

std::shared_ptr<AlbumLink> AlbumStage::LinkOf(size_t index) const
{
    if (shared_->albumOf[index] == kNoAlbum) return nullptr;
    return std::make_shared<Track>(shared_, index);
}

void AlbumStage::Ended(size_t index)
{
    Album* album = shared_->AlbumOf(index);
    if (album == nullptr) return;
    bool last = false;
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        last = shared_->Settle(*album, index);
    }
    if (last) shared_->Complete(*album);
}

bool AlbumStage::Ready(size_t index) const
{
    const Album* album = shared_->AlbumOf(index);
    if (album == nullptr || album->Members.front() != index) return true;
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    return album->Complete || shared_->stop->Requested();
}

std::vector<std::string> AlbumStage::HeadLines(size_t index, char decimalSeparator) const
{
    const Album* album = shared_->AlbumOf(index);
    if (album == nullptr || album->Members.front() != index) return {};
    const size_t count = album->Members.size();
    std::vector<std::string> lines{"Album: " + album->Name + " (" + std::to_string(count) +
                                   (count == 1 ? " file)" : " files)")};
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    if (album->Gain) lines.push_back("Album gain: " + FormatFixed2(*album->Gain, decimalSeparator) + " dB");
    return lines;
}

void AlbumStage::Describe(size_t index, ReportRow& facts) const
{
    const Album* album = shared_->AlbumOf(index);
    if (album == nullptr) return;
    facts.Album = album->Name;
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    facts.AlbumGain = album->Gain;
}

}  // namespace varnook
