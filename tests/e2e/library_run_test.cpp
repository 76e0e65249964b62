// Folders as sources, parallel jobs, safe re-runs and the report, with the real lame.
#include <iomanip>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

std::string Fixed2(double number) { return (std::ostringstream() << std::fixed << std::setprecision(2) << number).str(); }

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
    const std::string run = "{lib} /ana1 /lev1 /tr1 /enc1 /skip1", report = config.File("r.jsonl");
    const auto outputs = [&] {
        std::map<std::string, Bytes> made = Contents(lib);
        for (const auto& [name, bytes] : sources) made.erase(name);
        return made;
    };

    const CapturedRun one = Run(Words(run + " /jobs1 /report " + report));
    ASSERT_EQ(one.exitCode, 0) << one.out;
    const std::map<std::string, Bytes> made = outputs();
    ASSERT_EQ(made.size(), 4u);

    // Four jobs: everything, then nothing.
    for (const auto& [name, bytes] : made) fs::remove(lib / name);
    const std::string skip = run + " /jobs4";
    // The same log, so the jobs never waited for each other either ("Waiting for another...").
    EXPECT_EQ(Untimed(Run(Words(skip))), Untimed(one)) << "four jobs logged otherwise";
    EXPECT_TRUE(outputs() == made) << "four jobs made other bytes";
    // The outputs beside their sources are passed over, each with its row.
    EXPECT_EQ(Untimed(Run(Words(skip + " /report " + report))).back(),
              "Files done: 0, skipped: 4, failed: 0, stopped: 0, passed over: 4");
    size_t rows = 0;
    for (const nlohmann::json& row : ReportLines(report)) {
        if (row["status"] == "passed over") continue;
        SCOPED_TRACE(row.dump());
        const bool skipped = rows++ >= 4;
        EXPECT_EQ(row["status"], skipped ? "skipped" : "done");
        EXPECT_EQ(row["output_bytes"], fs::file_size(row["output"].get<std::string>()));
        if (skipped) continue;
        const auto cut = [&row](const char* key) { return row[key].is_number() ? row[key].get<double>() : NAN; };
        EXPECT_TRUE(cut("cut_in_s") < cut("cut_out_s") && cut("cut_out_s") <= cut("duration_s"));
        ExpectInOrder(one, {row["source"], "wav file info: " + Fixed2(row["duration_s"]) + " sec",
                            "Recommended gain: " + Fixed2(row["recommended_gain_db"]) + " dB",
                            "Leveling with: " + Fixed2(row["applied_gain_db"]) + " dB..."});
    }
    EXPECT_EQ(rows, 8u);
    EXPECT_TRUE(Contents(lib).size() == 8u && ReadAllBytes((lib / "c.wav").string()) == sources.at("c.wav"));
}

// A row of runs, each a bash line in which "V" runs the program with /skip1 ("{dir}" is the
// folder), and what became of the song: made ('m'), failed ('f') or passed over ('u').
struct RerunCase {
    const char* name;
    std::vector<std::pair<std::string, char>> runs;
    std::string output;  // holds one provenance record after the last run
    std::string record;  // the record's name in its file, in ASCII or (lame's) UTF-16
};
void PrintTo(const RerunCase& row, std::ostream* os) { *os << row.name; }

class Rerun : public BatchRun, public testing::WithParamInterface<RerunCase> {};

// A later run with SkipDone passes over exactly an output made whole from that source under the
// same settings, and marked once.
TEST_P(Rerun, PassesOverOnlyWhatTheseSettingsMadeFromThisSource)
{
    MakeWav("song.wav");
    for (auto [line, outcome] : GetParam().runs) {
        line = Expand("trap '' XFSZ; V() { \"" VARNOOK_EXE "\" \"$@\" /skip1; }; " + line);
        const CapturedRun run = RunCaptured("bash", {"-c", line}, WithSettings());
        EXPECT_EQ(run.exitCode, outcome == 'f' ? 1 : 0) << line << "\n" << run.out;
        EXPECT_EQ(run.out.find("Up to date: ") != std::string::npos, outcome == 'u') << line << "\n" << run.out;
    }
    const std::string bytes = ReadText(dir.File(GetParam().output));
    std::string wide;
    for (const char c : GetParam().record) wide += {c, '\0'};
    size_t records = 0;
    for (const std::string& name : {GetParam().record, wide})
        for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) ++records;
    EXPECT_EQ(records, 1u);
}

const std::string kToMp3 = " /ana0 /lev1 /tr0 /enc1 /nl 3", kToWav = " /ana0 /lev1 /tr0 /enc0";
const std::string kSongToMp3 = "V {dir}/song.wav" + kToMp3, kSongToWav = "V {dir}/song.wav" + kToWav;
const std::string kR128 = "V {dir}/song.wav /ana1 /lev1 /tr0 /enc0 /mode r128 /target -10";
INSTANTIATE_TEST_SUITE_P(Rows, Rerun, testing::Values(
    // A file size limit stands in for a full disk (215 kB hold half the song): the song goes on
    // unleveled and unmarked, so the next run levels it.
    RerunCase{"OutputAfterAFailedLevelIsMadeAgain", {{"ulimit -f 215; " + kSongToMp3, 'f'}, {kSongToMp3, 'm'},
              {kSongToMp3, 'u'}}, "song.mp3", "VarnookProvenance"},
    // Every setting that shapes the output is part of its record; the jobs are not.
    RerunCase{"LoudnessModeAndTargetMakeItDue", {{"V {dir}/song.wav /ana1 /lev1 /tr0 /enc0", 'm'}, {kR128, 'm'},
              {kR128 + " /jobs 2", 'u'}}, "_song.wav", "vrkp"},
    RerunCase{"TouchedSourceIsMadeAgain", {{kSongToWav, 'm'}, {"touch {dir}/song.wav; " + kSongToWav, 'm'}, {kSongToWav, 'u'}},
              "_song.wav", "vrkp"},
    // An output copied beside its source and taken as a source: its record names another source.
    RerunCase{"CopiedWavOutputTakenAsASource", {{kSongToWav, 'm'}, {"cp {dir}/_song.wav {dir}/copy.wav; V {dir}/copy.wav" +
              kToWav, 'm'}, {"V {dir}/copy.wav" + kToWav, 'u'}}, "_copy.wav", "vrkp"},
    RerunCase{"CopiedMp3OutputTakenAsASource", {{kSongToMp3, 'm'}, {"cp {dir}/song.mp3 {dir}/copy.mp3; V {dir}/copy.mp3" +
              kToMp3, 'm'}, {"V {dir}/copy.mp3" + kToMp3, 'u'}}, "_copy.mp3", "VarnookProvenance"}),
    RowName());

// What the report says of every item of a folder run: the files the walk took, passed over or
// could not read, the lead silence as added, the picture only when it was written.
struct ReportCase {
    const char* name;
    Names steps;        // below lib/: "tone NAME", "silence NAME", "mp3 NAME", "dir NAME", "link NAME" (to ".."),
                        // "shut NAME" (mode 0), "readonly NAME"
    std::string keys;   // after "{lib} /report {tmp}/r.jsonl", expanded (BatchRun::Expand)
    int exitCode;
    Names rows;         // status|source|reason|lead_in_s|lead_out_s|plot
    std::string summary;
};
void PrintTo(const ReportCase& row, std::ostream* os) { *os << row.name; }

class ReportRows : public BatchRun, public testing::WithParamInterface<ReportCase> {};

TEST_P(ReportRows, NameEveryItemInOrderAsItEnded)
{
    const ReportCase& row = GetParam();
    const fs::path lib = dir.Path() / "lib";
    fs::create_directory(lib);
    for (const std::string& step : row.steps) {
        const std::string what = step.substr(0, step.find(' ')), at = (lib / step.substr(step.find(' ') + 1)).string();
        if (what == "tone" || what == "silence") WriteAllBytes(at, what == "tone" ? ToneWav() : ToneWav(0));
        if (what == "mp3") fs::rename(MakeMp3("song.mp3"), at);
        if (what == "dir") fs::create_directory(at);
        if (what == "link") fs::create_directory_symlink("..", at);
        if (what == "shut") fs::permissions(at, fs::perms::none);
        if (what == "readonly") fs::permissions(at, fs::perms::owner_read | fs::perms::owner_exec);
    }
    // Permission bits hold for root too without these capabilities.
    const CapturedRun run = RunCaptured("setpriv", Words("--bounding-set=-dac_override,-dac_read_search "
        "--inh-caps=-dac_override,-dac_read_search " VARNOOK_EXE " {lib} /report {tmp}/r.jsonl " + row.keys), WithSettings());

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    EXPECT_EQ(Untimed(run).back(), row.summary);
    Names rows, expected;
    for (const nlohmann::json& cells : ReportLines(config.File("r.jsonl"))) {
        std::string& line = rows.emplace_back(cells["status"].get<std::string>());
        for (const char* key : {"source", "reason", "lead_in_s", "lead_out_s", "plot"})
            line += "|" + (cells[key].is_string() ? cells[key].get<std::string>() : cells[key].dump());
    }
    for (const std::string& line : row.rows) expected.push_back(Expand(line));
    EXPECT_EQ(rows, expected);
}

const std::string kLevelAndTrim = " /ana1 /lev1 /tr1 /enc0 /li 0,3";
const std::vector<ReportCase> kReportRows{
    ReportCase{"WalkFailuresAndFilesPassedOver", {"tone a.wav", "tone a.mp3", "dir locked", "tone locked/b.wav", "shut locked"},
               " /ana0 /lev1 /tr0 /enc1", 1, {"passed over|{lib}/a.mp3|the output of {lib}/a.wav|null|null|null",
               "done|{lib}/a.wav||null|null|null",
               "failed|{lib}/locked|Could not read the folder {lib}/locked: 70: Permission denied|null|null|null"},
               "Files done: 1, skipped: 0, failed: 1, stopped: 0, passed over: 1"},
    // Hidden files and folders, a link back up and the outputs of an earlier run are passed over;
    // "track 2" comes before "track 10".
    ReportCase{"NaturalOrderOfTheWalk", {"dir sub", "dir .hidden", "tone track 10.wav", "tone track 2.wav", "tone .h.wav",
               "tone .hidden/h.wav", "tone sub/a.wav", "mp3 sub/b.mp3", "link sub/loop", "tone track 2.mp3", "tone sub/_b.mp3"},
               " /ana0 /lev1 /tr0 /enc1 /jobs1", 0, {"passed over|{lib}/sub/_b.mp3|the output of {lib}/sub/b.mp3|null|null|null",
               "done|{lib}/sub/a.wav||null|null|null", "done|{lib}/sub/b.mp3||null|null|null",
               "passed over|{lib}/track 2.mp3|the output of {lib}/track 2.wav|null|null|null",
               "done|{lib}/track 2.wav||null|null|null", "done|{lib}/track 10.wav||null|null|null"},
               "Files done: 4, skipped: 0, failed: 0, stopped: 0, passed over: 2"},
    ReportCase{"OneSourceEndsWithTheSummary", {"tone a.wav"}, " /enc0", 0, {"done|{lib}/a.wav||0.2|0.2|null"},
               "Files done: 1, skipped: 0, failed: 0, stopped: 0"},
    // Quiet throughout, the second is left as it was: no silence is added to it.
    ReportCase{"LeadSilenceAsAdded", {"tone a.wav", "silence b.wav"}, kLevelAndTrim, 0,
               {"done|{lib}/a.wav||0.3|0.2|null", "done|{lib}/b.wav||0.0|0.0|null"},
               "Files done: 2, skipped: 0, failed: 0, stopped: 0"},
#if VARNOOK_HAVE_GUI
    ReportCase{"PictureUnderItsAbsolutePath", {"tone a.wav"}, "/plot {rel}/plots" + kLevelAndTrim, 0,
               {"done|{lib}/a.wav||0.3|0.2|{dir}/plots/a.wav.png"}, "Files done: 1, skipped: 0, failed: 0, stopped: 0"},
    ReportCase{"PictureFolderReadOnly", {"tone a.wav", "dir plots", "readonly plots"}, "/plot {lib}/plots" + kLevelAndTrim, 1,
               {"failed|{lib}/a.wav|The picture could not be written: {lib}/plots/a.wav.png|0.3|0.2|null"},
               "Files done: 0, skipped: 0, failed: 1, stopped: 0"}
#endif
};
INSTANTIATE_TEST_SUITE_P(Library, ReportRows, testing::ValuesIn(kReportRows), RowName());

}  // namespace
}  // namespace varnook::test
