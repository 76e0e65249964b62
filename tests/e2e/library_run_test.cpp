// Folders as sources, parallel jobs, safe re-runs and the report, with the real lame.
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "e2e/batch_fixture.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

Names Join(Names a, const Names& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The sources a run took, relative to `root`, in the order it took them.
Names Taken(const CapturedRun& run, const fs::path& root)
{
    Names taken;
    const Names lines = run.Lines();
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == "Now processing:") taken.push_back(fs::relative(lines[i + 1], root).string());
    return taken;
}

// Hidden files and folders, a link back up, and the outputs of an earlier run are passed over;
// "track 2" comes before "track 10". A folder of one source still ends with the summary.
TEST_F(BatchRun, FolderSourceTakesTheSameSourcesInNaturalOrderAndMirrorsTheDestination)
{
    const fs::path lib = dir.Path() / "lib";
    fs::create_directories(lib / "sub");
    fs::create_directories(lib / ".hidden");
    for (const char* name : {"track 10.wav", "track 2.wav", ".hidden.wav", ".hidden/h.wav", "sub/a.wav"})
        MakeWav("lib/" + std::string(name));
    fs::rename(MakeMp3("b.mp3"), lib / "sub/b.mp3");
    fs::create_directory_symlink("..", lib / "sub/loop");
    for (const char* name : {"track 2.mp3", "sub/_b.mp3"}) fs::copy_file(lib / "track 2.wav", lib / name);

    const Names keys{lib.string(), "/ana0", "/lev1", "/tr0", "/enc1", "/jobs1"};
    const Names taken{"sub/a.wav", "sub/b.mp3", "track 2.wav", "track 10.wav"};
    const CapturedRun inPlace = Run(keys);
    EXPECT_EQ(inPlace.exitCode, 0) << inPlace.out;
    EXPECT_EQ(Taken(inPlace, lib), taken);
    EXPECT_TRUE(Run({(lib / ".hidden").string(), "/enc0"}).Lines().back().starts_with("Files done: 1, skipped: 0, failed: 0"));
    fs::create_directory(dir.Path() / "out");
    EXPECT_EQ(Taken(Run(Join(keys, {"/dest", dir.File("out/")})), lib), taken);
    Names mirrored;
    for (const auto& [name, bytes] : Contents(dir.Path() / "out")) mirrored.push_back(name);
    EXPECT_EQ(mirrored, (Names{"sub/a.mp3", "sub/b.mp3", "track 10.mp3", "track 2.mp3"}));
}

std::string Fixed2(double number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", number);
    return text;
}

// One folder of four sources, the first of them long: four jobs make what one makes and log what
// one logs, with SkipDone a second run passes over every file that is still up to date, and the
// report agrees with the log and gives the size of each output made or kept.
TEST_F(BatchRun, LibraryJobsAgreeTheReportAgreesAndUpToDateFilesAreSkipped)
{
    const fs::path lib = dir.Path() / "lib";
    fs::create_directory(lib);
    // Ten times the others' length, so that with four jobs it ends last and its lines must wait.
    WriteAllBytes((lib / "a.wav").string(), BuildWav({}, Sine(440, 3000, 44100, 44100 * 25)));
    for (const char* name : {"b.wav", "c.wav"}) MakeWav("lib/" + std::string(name), 3000);
    fs::rename(MakeMp3("d.mp3"), lib / "d.mp3");
    const std::map<std::string, Bytes> sources = Contents(lib);
    const Names run{lib.string(), "/ana1", "/lev1", "/tr1", "/enc1", "/skip1"};
    const auto outputs = [&] {
        std::map<std::string, Bytes> made = Contents(lib);
        for (const auto& [name, bytes] : sources) made.erase(name);
        return made;
    };

    const std::string report = config.File("r.jsonl");
    const CapturedRun one = Run(Join(run, {"/jobs1", "/report", report}));
    ASSERT_EQ(one.exitCode, 0) << one.out;
    const std::map<std::string, Bytes> made = outputs();
    ASSERT_EQ(made.size(), 4u);

    // Four jobs: everything, then nothing, then the touched source, then all under new settings.
    for (const auto& [name, bytes] : made) fs::remove(lib / name);
    const Names skip = Join(run, {"/jobs4"});
    // The same log, so the jobs never waited for each other either ("Waiting for another...").
    EXPECT_EQ(Untimed(Run(skip)), Untimed(one)) << "four jobs logged otherwise";
    EXPECT_TRUE(outputs() == made) << "four jobs made other bytes";
    EXPECT_EQ(Untimed(Run(Join(skip, {"/report", report}))).back(), "Files done: 0, skipped: 4, failed: 0, stopped: 0");
    std::ifstream in(report);
    size_t rows = 0;
    for (std::string text; std::getline(in, text); ++rows) {
        const nlohmann::json row = nlohmann::json::parse(text);
        SCOPED_TRACE(text);
        EXPECT_EQ(row["status"], rows < 4 ? "done" : "skipped");
        EXPECT_EQ(row["output_bytes"], fs::file_size(row["output"].get<std::string>()));
        if (rows >= 4) continue;
        ASSERT_TRUE(row["cut_in_s"].is_number() && row["cut_out_s"].is_number());
        EXPECT_LT(row["cut_in_s"].get<double>(), row["cut_out_s"].get<double>());
        EXPECT_LE(row["cut_out_s"].get<double>(), row["duration_s"].get<double>());
        ExpectInOrder(one, {row["source"], "wav file info: " + Fixed2(row["duration_s"]) + " sec",
                            "Recommended gain: " + Fixed2(row["recommended_gain_db"]) + " dB",
                            "Leveling with: " + Fixed2(row["applied_gain_db"]) + " dB..."});
    }
    EXPECT_EQ(rows, 8u);
    const std::string touched = (lib / "c.wav").string();
    ASSERT_EQ(::utimensat(AT_FDCWD, touched.c_str(), nullptr, 0), 0);
    const CapturedRun afterTouch = Run(skip);
    EXPECT_EQ(Untimed(afterTouch).back(), "Files done: 1, skipped: 3, failed: 0, stopped: 0");
    EXPECT_FALSE(HasLine(afterTouch.Lines(), "Up to date: " + (lib / "c.mp3").string()));
    EXPECT_EQ(Untimed(Run(Join(skip, {"/nl", "-1"}))).back(), "Files done: 4, skipped: 0, failed: 0, stopped: 0");
    EXPECT_TRUE(Contents(lib).size() == 8u && ReadAllBytes(touched) == sources.at("c.wav"));
}

}  // namespace
}  // namespace varnook::test
