// Folders as sources, parallel jobs, safe re-runs and the report, with the real lame.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const std::vector<std::string> kAllSteps{"/ana1", "/lev1", "/tr1"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
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

// Every file below `root` by relative path.
std::map<std::string, Bytes> Tree(const fs::path& root)
{
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && !entry.is_symlink())
            files[fs::relative(entry.path(), root).string()] = ReadAllBytes(entry.path().string());
    return files;
}

struct TreeCase {
    const char* name;
    std::string encode;
    Names earlierOutputs;  // left by an earlier run in place, never to be taken
    Names taken;
    Names mirrored;  // the outputs below the destination folder
};
void PrintTo(const TreeCase& row, std::ostream* os) { *os << row.name; }

class FolderSource : public BatchRun, public testing::WithParamInterface<TreeCase> {};

TEST_P(FolderSource, TakesTheSameSourcesInNaturalOrderAndMirrorsTheDestination)
{
    const fs::path lib = dir.Path() / "lib";
    fs::create_directories(lib / "sub");
    fs::create_directories(lib / ".hidden");
    for (const char* name : {"track 10.wav", "track 2.wav", ".hidden.wav", ".hidden/h.wav", "sub/a.wav"})
        MakeWav("lib/" + std::string(name));
    fs::rename(MakeMp3("b.mp3", {}), lib / "sub/b.mp3");
    fs::create_directory_symlink("..", lib / "sub/loop");
    for (const std::string& name : GetParam().earlierOutputs) fs::copy_file(lib / "track 2.wav", lib / name);

    const std::vector<std::string> keys{"/ana0", "/lev1", "/tr0", "/enc" + GetParam().encode, "/jobs1"};
    for (int run = 0; run < 2; ++run) {
        const CapturedRun inPlace = Run(Join({lib.string()}, keys));
        EXPECT_EQ(inPlace.exitCode, 0) << inPlace.out;
        EXPECT_EQ(Taken(inPlace, lib), GetParam().taken) << "run " << run;
    }
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const CapturedRun toDest = Run(Join({lib.string()}, Join(keys, {"/dest", out.string() + "/"})));
    EXPECT_EQ(Taken(toDest, lib), GetParam().taken);
    Names mirrored;
    for (const auto& [name, bytes] : Tree(out)) mirrored.push_back(name);
    EXPECT_EQ(mirrored, GetParam().mirrored);
}

INSTANTIATE_TEST_SUITE_P(Trees, FolderSource, testing::Values(
    TreeCase{"Encoding", "1", {"track 2.mp3", "sub/_b.mp3"},
             {"sub/a.wav", "sub/b.mp3", "track 2.wav", "track 10.wav"},
             {"sub/a.mp3", "sub/b.mp3", "track 10.mp3", "track 2.mp3"}},
    TreeCase{"NotEncoding", "0", {"_track 2.wav", "sub/b.wav"},
             {"sub/a.wav", "sub/b.mp3", "track 2.wav", "track 10.wav"},
             {"sub/a.wav", "sub/b.wav", "track 10.wav", "track 2.wav"}}),
    RowName());

// The JSON-lines report, a row a line.
std::vector<nlohmann::json> ReadReport(const std::string& path)
{
    std::ifstream in(path);
    std::vector<nlohmann::json> rows;
    for (std::string line; std::getline(in, line);) rows.push_back(nlohmann::json::parse(line));
    return rows;
}

std::string Fixed2(double number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", number);
    return text;
}

struct SkipCase {
    const char* name;
    std::string encode;
    const char* output;  // of "c.wav"
};
void PrintTo(const SkipCase& row, std::ostream* os) { *os << row.name; }

class LibraryRerun : public BatchRun, public testing::WithParamInterface<SkipCase> {};

// One folder of four sources: two jobs make what one makes, the report agrees with the log,
// and with SkipDone a second run passes over every file that is still up to date.
TEST_P(LibraryRerun, JobsAgreeTheReportAgreesAndUpToDateFilesAreSkipped)
{
    const fs::path lib = dir.Path() / "lib";
    fs::create_directory(lib);
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) MakeWav("lib/" + std::string(name), 3000);
    fs::rename(MakeMp3("d.mp3", {}), lib / "d.mp3");
    const std::map<std::string, Bytes> sources = Tree(lib);
    const std::vector<std::string> keys = Join(kAllSteps, {"/enc" + GetParam().encode});
    const auto outputs = [&] {
        std::map<std::string, Bytes> made = Tree(lib);
        for (const auto& [name, bytes] : sources) made.erase(name);
        return made;
    };
    const auto clean = [&] {
        for (const auto& [name, bytes] : outputs()) fs::remove(lib / name);
    };

    const std::string report = config.File("r.jsonl");
    const CapturedRun one = Run(Join({lib.string()}, Join(keys, {"/jobs1", "/report", report})));
    ASSERT_EQ(one.exitCode, 0) << one.out;
    const std::map<std::string, Bytes> made = outputs();
    ASSERT_EQ(made.size(), 4u);
    const std::vector<nlohmann::json> rows = ReadReport(report);
    ASSERT_EQ(rows.size(), 4u);
    for (const nlohmann::json& row : rows) {
        SCOPED_TRACE(row.dump());
        EXPECT_EQ(row["status"], "done");
        EXPECT_EQ(row["output_bytes"], fs::file_size(row["output"].get<std::string>()));
        ASSERT_TRUE(row["cut_in_s"].is_number() && row["cut_out_s"].is_number());
        EXPECT_LT(row["cut_in_s"].get<double>(), row["cut_out_s"].get<double>());
        EXPECT_LE(row["cut_out_s"].get<double>(), row["duration_s"].get<double>());
        ExpectInOrder(one, {row["source"], "wav file info: " + Fixed2(row["duration_s"]) + " sec",
                            "Recommended gain: " + Fixed2(row["recommended_gain_db"]) + " dB",
                            "Leveling with: " + Fixed2(row["applied_gain_db"]) + " dB..."});
    }

    clean();
    const CapturedRun two = Run(Join({lib.string()}, Join(keys, {"/jobs2"})));
    ASSERT_EQ(two.exitCode, 0) << two.out;
    EXPECT_TRUE(outputs() == made) << "two jobs made other bytes";
    EXPECT_EQ(two.out.find("Waiting for another"), std::string::npos) << "the jobs waited for each other";

    // With SkipDone: everything, then nothing, then the touched source, then all under new settings.
    clean();
    const std::vector<std::string> skip = Join({lib.string()}, Join(keys, {"/jobs2", "/skip1"}));
    const auto upToDate = [](const CapturedRun& run) {
        size_t count = 0;
        for (const std::string& line : run.Lines()) count += line.starts_with("Up to date: ");
        return count;
    };
    ASSERT_EQ(upToDate(Run(skip)), 0u);
    EXPECT_EQ(upToDate(Run(skip)), 4u);
    const std::string touched = (lib / "c.wav").string();
    ASSERT_EQ(::utimensat(AT_FDCWD, touched.c_str(), nullptr, 0), 0);
    const CapturedRun afterTouch = Run(skip);
    EXPECT_EQ(upToDate(afterTouch), 3u);
    EXPECT_FALSE(HasLine(afterTouch.Lines(), "Up to date: " + (lib / GetParam().output).string()));
    EXPECT_EQ(upToDate(Run(Join(skip, {"/nl", "-1"}))), 0u);
    EXPECT_TRUE(Tree(lib).size() == 8u && ReadAllBytes(touched) == sources.at("c.wav"));
}

INSTANTIATE_TEST_SUITE_P(Outputs, LibraryRerun, testing::Values(
    SkipCase{"Mp3", "1", "c.mp3"},
    SkipCase{"Wav", "0", "_c.wav"}),
    RowName());

}  // namespace
}  // namespace varnook::test
