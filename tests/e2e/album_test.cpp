// Album mode with the real program: one gain pooled from every track, checked against the same
// analysis and against ffmpeg over the tracks played one after the other; albums by folder and by
// tag; byte-identical outputs whatever the jobs; re-runs that redo an album whole.
#include <fcntl.h>
#include <sys/stat.h>

#include <numbers>

#include "e2e/batch_fixture.h"
#include "support/tag_sets.h"

namespace varnook::test {
namespace {

using Rows = std::map<std::string, nlohmann::json>;

// A file's RMS level over all its samples and channels, in dB, as sox's stats reads it.
double Level(const std::string& path)
{
    const std::string stats = RunCaptured("sox", {path, "-n", "stats"}).err;
    const size_t at = stats.find("RMS lev dB");
    return at == std::string::npos ? NAN : std::strtod(stats.c_str() + at + 10, nullptr);
}

// The lines of a run's log that start with `opening`, in order.
Names LinesOf(const CapturedRun& run, const std::string& opening)
{
    Names lines;
    for (const std::string& line : run.Lines())
        if (line.starts_with(opening)) lines.push_back(line);
    return lines;
}

// A tone rising 60 dB to full scale after half a second of silence, ending 0.6 of a window past
// the last whole one: a window that ran on into the next track would hold its loudest part.
std::vector<int16_t> RisingTone()
{
    std::vector<int16_t> samples = Silence(22050);
    const double frames = 2205 * 30.6, step = 2 * std::numbers::pi * 1000 / 44100;
    for (int i = 0; i < frames; ++i)
        samples.push_back(static_cast<int16_t>(32000 * std::pow(10.0, 3 * (i / frames - 1)) * std::sin(i * step)));
    return samples;
}

class AlbumGain : public BatchRun, public testing::WithParamInterface<std::string> {};

// In one run of three folder albums: an album of one track is leveled exactly as the track alone;
// two copies of a track get the track's gain; a loud, a middling and a quiet track, each of whole
// windows after silence enough for the filter to settle, get the gain of the three played one
// after the other (by the same analysis of their concatenation for rg1, by ffmpeg's for r128),
// keep their differences in level and are trimmed alike. In r128 that gain is none of the
// tracks' own, so none may be leveled before all are measured.
TEST_P(AlbumGain, IsPooledFromEveryTrack)
{
    const fs::path lib = dir.Path() / "lib";
    for (const char* folder : {"one", "copies", "trio"}) fs::create_directories(lib / folder);
    MakeWav("lib/one/t.wav");
    WriteAllBytes(dir.File("lib/copies/a.wav"), BuildWav({}, RisingTone()));
    fs::copy_file(lib / "copies/a.wav", lib / "copies/b.wav");
    const std::string loud = MakeWav("lib/trio/loud.wav", 16000), quiet = MakeWav("lib/trio/quiet.wav", 500);
    const std::string played = config.File("played.wav");
    MakeWav("lib/trio/mid.wav", 5000);
    WriteAllBytes(played, BuildWav(kStereo, Concat(Concat(Tone(16000), Tone(5000)), Tone(500))));

    Rows album, alone;
    for (const auto& [rows, sources] : std::vector<std::pair<Rows*, std::string>>{{&album, "{lib} /album folder /dest {dir}/out/"},
             {&alone, "{lib}/one/t.wav {lib}/copies/a.wav {tmp}/played.wav /dest {dir}/alone/"}}) {
        const CapturedRun done = Run(Words(sources + " /ana1 /lev1 /tr1 /enc0 /target -18 /report {tmp}/r.jsonl /mode " +
                                          GetParam()));
        EXPECT_EQ(done.exitCode, 0) << done.out;
        *rows = ReportBySource(config.File("r.jsonl"));
    }

    EXPECT_EQ(album["t.wav"]["album_gain_db"], alone["t.wav"]["recommended_gain_db"]);
    EXPECT_TRUE(ReadAllBytes(dir.File("out/one/t.wav")) == ReadAllBytes(dir.File("alone/t.wav")));
    EXPECT_NEAR(album["a.wav"]["album_gain_db"].get<double>(), alone["a.wav"]["recommended_gain_db"].get<double>(), 0.05);
    const bool rg1 = GetParam() == "rg1";
    const double wanted = rg1 ? alone["played.wav"]["recommended_gain_db"].get<double>() : -18 - FfmpegLoudness(played);
    EXPECT_NEAR(album["loud.wav"]["album_gain_db"].get<double>(), wanted, rg1 ? 0.01 : 0.1);
    for (const char* field : {"applied_gain_db", "cut_in_s", "cut_out_s"})
        EXPECT_EQ((Names{album["mid.wav"][field].dump(), album["quiet.wav"][field].dump()}),
                  Names(2, album["loud.wav"][field].dump())) << field;
    EXPECT_NEAR(Level(dir.File("out/trio/loud.wav")) - Level(dir.File("out/trio/quiet.wav")), Level(loud) - Level(quiet), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Modes, AlbumGain, testing::Values("rg1", "r128"),
                         [](const auto& info) { return info.param; });

class AlbumRuns : public BatchRun {
protected:
    // Two discs of one album in folders of their own, one of their tracks under another album
    // artist, and two untagged singles.
    AlbumRuns()
    {
        // Each track's album, artist and album artist, as far as it has them.
        const std::map<std::string, Names> tracks{{"CD1/01.wav", {"Opus", "Band", "Orchestra"}},
            {"CD1/02.wav", {"Opus", "Guest", "Orchestra"}}, {"CD2/03.wav", {"Opus", "Band", "Orchestra"}},
            {"CD2/04.wav", {"Opus", "Band"}}, {"singles/a.wav", {}}, {"singles/b.wav", {}}};
        double amplitude = 1000;
        for (const auto& [name, texts] : tracks) {
            fs::create_directories((lib / name).parent_path());
            WavLayout layout = kStereo;
            std::string tag;
            for (size_t i = 0; i < texts.size(); ++i) tag += Id3Frame(3, Names{"TALB", "TPE1", "TPE2"}[i], '\0' + texts[i]);
            tag = Id3Tag(3, tag);  // as a WAV file's "id3 " chunk holds it
            if (!texts.empty()) layout.after = {{"id3 ", Bytes(tag.begin(), tag.end())}};
            WriteAllBytes((lib / name).string(), BuildWav(layout, Sine(440, amplitude *= 1.5, 44100, 44100 * 2, 2)));
        }
    }

    // `words` after the album mode.
    CapturedRun RunAlbums(const std::string& words)
    {
        const CapturedRun run = Run(Words("{lib} /ana1 /lev1 /tr0 /enc1 /skip1 /album " + words));
        EXPECT_EQ(run.exitCode, 0) << run.out;
        return run;
    }

    // Each output's bytes, by name, taken out of the library.
    std::map<std::string, Bytes> TakeOutputs()
    {
        std::map<std::string, Bytes> outputs = Contents(lib);
        std::erase_if(outputs, [](const auto& file) { return !file.first.ends_with(".mp3"); });
        for (const auto& [name, bytes] : outputs) fs::remove(lib / name);
        return outputs;
    }

    fs::path lib = dir.Path() / "lib";
};

// By folder each disc is an album and so is the singles' folder, each brought down as a whole
// under a true-peak ceiling until its loudest track meets it; by tag the two discs are one album,
// the track of another album artist one of its own, each single one; one job and two make the
// same bytes and the same log.
TEST_F(AlbumRuns, GroupByFolderOrByTagAndMakeTheSameBytesWhateverTheJobs)
{
    const std::string root = lib.string() + "/";
    EXPECT_EQ(LinesOf(RunAlbums("folder /jobs1 /tp -20 /report {tmp}/r.jsonl"), "Album: "),
              (Names{"Album: " + root + "CD1 (2 files)", "Album: " + root + "CD2 (2 files)",
                     "Album: " + root + "singles (2 files)"}));
    std::map<std::string, std::vector<nlohmann::json>> rowsOf;
    for (const auto& [name, row] : ReportBySource(config.File("r.jsonl"))) rowsOf[row["album"]].push_back(row);
    for (const auto& [album, rows] : rowsOf) {
        double loudest = -HUGE_VAL;
        for (const nlohmann::json& row : rows) {
            EXPECT_EQ(row["applied_gain_db"], rows.front()["applied_gain_db"]) << album;
            // Before the delivered MP3 (whose own peak lame moves): the peak the gain puts it at.
            loudest = std::max(loudest, row["true_peak_before_dbtp"].get<double>() + row["applied_gain_db"].get<double>());
        }
        EXPECT_NEAR(loudest, -20, 0.05) << album;
    }
    TakeOutputs();
    const CapturedRun one = RunAlbums("tag /jobs1");
    EXPECT_EQ(LinesOf(one, "Album: "), (Names{"Album: Orchestra - Opus (3 files)", "Album: Band - Opus (1 file)",
                                  "Album: a.wav (1 file)", "Album: b.wav (1 file)"}));
    const std::map<std::string, Bytes> made = TakeOutputs();
    const CapturedRun two = RunAlbums("tag /jobs2");
    EXPECT_EQ(Untimed(two), Untimed(one));
    EXPECT_TRUE(TakeOutputs() == made) << "two jobs made other bytes";
}

// A re-run passes over albums whose outputs are all up to date, telling each album's gain from
// them; a touched track makes its whole album due again, and so do an output gone missing and a
// track taken away.
TEST_F(AlbumRuns, ReRunsRedoAWholeAlbumOrNone)
{
    const Names gains = LinesOf(RunAlbums("folder /jobs2"), "Album");
    ASSERT_EQ(gains.size(), 6u);
    const CapturedRun again = RunAlbums("folder");
    EXPECT_EQ(LinesOf(again, "Album"), gains);
    const auto summary = [this](const CapturedRun& run) { return Untimed(run).back(); };
    EXPECT_EQ(summary(again), "Files done: 0, skipped: 6, failed: 0, stopped: 0, passed over: 6");
    ASSERT_EQ(::utimensat(AT_FDCWD, (lib / "CD2/04.wav").c_str(), nullptr, 0), 0);
    EXPECT_EQ(summary(RunAlbums("folder")), "Files done: 2, skipped: 4, failed: 0, stopped: 0, passed over: 6");
    fs::remove(lib / "singles/a.mp3");
    EXPECT_EQ(summary(RunAlbums("folder /jobs2")), "Files done: 2, skipped: 4, failed: 0, stopped: 0, passed over: 5");
    for (const char* name : {"CD1/02.wav", "CD1/02.mp3"}) fs::remove(lib / name);
    EXPECT_EQ(summary(RunAlbums("folder")), "Files done: 1, skipped: 4, failed: 0, stopped: 0, passed over: 5");
}

}  // namespace
}  // namespace varnook::test
