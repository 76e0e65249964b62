// Failing systems end to end: a full disk, read-only places, a source that goes away, a lame
// that hangs until the user interrupts, the program killed at random moments, and two programs
// in one folder. After each, the sources are byte-identical and no output name holds a partial
// file.
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/stand_in_encoder.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLevelToWav{"/ana0", "/lev1", "/tr0", "/enc0", "/nl", "3"};
const std::vector<std::string> kLevelToMp3{"/ana0", "/lev1", "/tr0", "/enc1", "/nl", "3"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A source in a folder of its own, written with "/dest" to an output folder; `places` lose
// write access ("s" the source file, "d" its folder, "o" the output folder), and a file size
// limit can stand in for a full disk: with SIGXFSZ ignored a write past it fails with EFBIG, as
// a full disk's ENOSPC does.
struct PlaceCase {
    const char* name;
    std::string places;
    std::string sizeLimit;  // "unlimited", or "half" the source
    std::vector<std::string> keys;
    int exitCode;
    std::vector<std::string> expectedLines;  // in this order among the log's lines
    std::set<std::string> outputNames;       // the output folder's names afterwards
};

class HostilePlaces : public BatchRun, public testing::WithParamInterface<PlaceCase> {};

TEST_P(HostilePlaces, FailWithoutTouchingTheSourceOrLeavingWorkFiles)
{
    const PlaceCase& row = GetParam();
    const std::string source = MakeWav("song.wav");
    const Bytes sourceBytes = ReadAllBytes(source);
    TempDir out;
    for (const char place : row.places)
        fs::permissions(place == 's' ? fs::path(source) : place == 'd' ? dir.Path() : out.Path(),
                        fs::perms::owner_read | fs::perms::owner_exec);
    // Root is not stopped by permission bits; the program runs without that power.
    const std::string limit = row.sizeLimit == "half" ? std::to_string(sourceBytes.size() / 1024)
                                                      : row.sizeLimit;  // in 512-byte blocks
    const std::string script = "trap '' XFSZ; ulimit -f " + limit +
                               "; exec setpriv --bounding-set=-dac_override "
                               "--inh-caps=-dac_override \"$@\"";
    const CapturedRun run = RunCaptured(
        "sh", Join({"-c", script, "sh", VARNOOK_EXE, source, "/dest", out.Path().string() + "/"},
                   row.keys), WithSettings());
    fs::permissions(dir.Path(), fs::perms::owner_all);
    fs::permissions(out.Path(), fs::perms::owner_all);

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    ExpectInOrder(run, row.expectedLines);
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    EXPECT_EQ(Listing(), (std::set<std::string>{"song.wav"}));
    std::set<std::string> outputs;
    for (const auto& [name, bytes] : Contents(out.Path())) outputs.insert(name);
    EXPECT_EQ(outputs, row.outputNames);
    if (outputs.count("song.mp3") == 0) return;
    // The encoder got the source, not a cut-short copy: the MP3 holds the whole song.
    const std::string decoded = config.File("d.wav");
    ASSERT_EQ(RunCaptured("lame", {"--decode", out.File("song.mp3"), decoded}).exitCode, 0);
    EXPECT_GT(fs::file_size(decoded), sourceBytes.size() * 9 / 10);
}

// With half the source as the limit the amplified copy cannot be written whole, while the
// MP3 fits.
INSTANTIATE_TEST_SUITE_P(
    Cases, HostilePlaces,
    testing::Values(
        PlaceCase{"DiskFullWhileLevelingTheFileGoesOnUnleveled", "",
                  "half", kLevelToMp3, 1,
                  {"61: Disk full", "Could not level", "Encoding...", "Encoded OK"},
                  {"song.mp3"}},
        // Only the repairs of a header need write access; none are needed here.
        PlaceCase{"SourceFileIsOnlyReadAndStillProcessed", "s", "unlimited",
                  {"/ana1", "/lev1", "/tr0", "/enc1"}, 0, {"Analyzing...", "Leveled OK", "Encoded OK"},
                  {"song.mp3"}},
        PlaceCase{"SourceFolderRefusesTheWorkFile", "d", "unlimited", kLevelToWav, 1,
                  {"70: Permission denied", "Could not level"}, {}},
        PlaceCase{"OutputFolderRefusesTheWav", "o", "unlimited", kLevelToWav, 1,
                  {"Leveled OK", "70: Permission denied"}, {}},
        PlaceCase{"OutputFolderRefusesLamesFile", "o", "unlimited", kLevelToMp3, 1,
                  {"Leveled OK", "Could not encode"}, {}},
        // One 512-byte block: lame fails after writing part of its file.
        PlaceCase{"DiskFullWhileEncoding", "", "1", {"/ana0", "/lev0", "/tr0", "/enc1"}, 1,
                  {"Encoding...", "Could not encode"}, {}}),
    RowName());

// Makes this process the reaper of lame children orphaned by a killed varnook, so a test can
// wait for them.
struct OrphanReaper {
    OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

TEST_F(BatchRun, HungLameEndsWithItsProgramWhetherInterruptedOrKilled)
{
    const std::string first = MakeWav("one.wav");
    const std::string second = MakeWav("two.wav");
    WriteText(dir.File("one.mp3"), "the previous one.mp3");
    const std::map<std::string, Bytes> before = Contents(dir.Path());
    const OrphanReaper reaper;
    for (const int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal == SIGINT ? "interrupted" : "killed");
        const StandInEncoder hang(StandIn::Hang);
        RunningProgram program = Start({first, second, "/ana0", "/lev1", "/tr0", "/enc1", "/jobs1"},
                                       {{"PATH", hang.SearchPathWithStandInFirst()}});
        while (hang.Note("hung.pid").empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const pid_t lame = std::stoi(hang.Note("hung.pid"));
        ASSERT_EQ(::kill(program.Pid(), signal), 0);
        const CapturedRun run = program.Finish();
        if (signal == SIGINT) {
            // lame was ended and reaped, not left running, and the batch stopped.
            EXPECT_EQ(run.exitCode, 1) << run.out;
            ASSERT_FALSE(run.Lines().empty());
            EXPECT_EQ(run.Lines().back(), "Interrupted by user") << run.out;
            EXPECT_TRUE(HasLine(run.Lines(), "Could not encode")) << run.out;
            EXPECT_FALSE(HasLine(run.Lines(), "File 2 of 2")) << run.out;
            EXPECT_NE(::kill(lame, 0), 0);
            EXPECT_TRUE(Contents(dir.Path()) == before);
        } else {
            // A lame working on after its varnook died would write "mp3.tmp" under the next
            // run's lame.
            int status = 0;
            ASSERT_EQ(::waitpid(lame, &status, 0), lame);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "lame lived on";
        }
    }
}

// A run of three sources on two jobs, killed at moments spread over a whole run's length.
TEST_F(BatchRun, KilledAtRandomLeavesSourcesAndFinishedOutputsWholeAndTheNextRunCleansUp)
{
    const std::vector<std::string> args{MakeWav("a.wav", 3000), MakeWav("b.wav", 9000),
                                        MakeWav("c.wav", 6000), "/ana1", "/lev1", "/tr1", "/enc1", "/jobs2"};
    const std::map<std::string, Bytes> sources = Contents(dir.Path());
    // A whole run gives the outputs every interrupted run must match byte for byte, and how
    // long a run takes, to spread the kills over.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Run(args).exitCode, 0);
    const auto wholeRun = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    const std::map<std::string, Bytes> finished = Contents(dir.Path());
    ASSERT_EQ(finished.size(), 2 * sources.size());

    const OrphanReaper reaper;
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int64_t> killAfter(0, wholeRun.count());
    for (int round = 0; round < 8; ++round) {
        for (const auto& [name, bytes] : finished)
            if (sources.count(name) == 0) fs::remove(dir.Path() / name);
        const int64_t delay = killAfter(random);
        SCOPED_TRACE("round " + std::to_string(round) + ", killed after " + std::to_string(delay) + " us");
        RunningProgram program = Start(args);
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        // Every other round the whole group is killed at once, as when the machine goes down;
        // otherwise only the program, and lame is left to die with it.
        ::kill(round % 2 == 0 ? -program.Pid() : program.Pid(), SIGKILL);
        program.Finish();
        int status = 0;
        while (::waitpid(-1, &status, 0) > 0 || errno == EINTR) {
        }
        for (const auto& [name, bytes] : Contents(dir.Path())) {
            // Only the names of unfinished work may hold anything but a whole output.
            if (name.ends_with(".tmp"))
                continue;
            ASSERT_EQ(finished.count(name), 1u) << "unexpected file " << name;
            EXPECT_TRUE(bytes == finished.at(name)) << name << " is not whole";
        }
        EXPECT_EQ(Run(args).exitCode, 0);
        EXPECT_TRUE(Contents(dir.Path()) == finished) << "the next run left a different folder";
    }
}

TEST_F(BatchRun, TwoProgramsInOneFolderTakeTurns)
{
    const std::vector<std::string> keys{"/ana1", "/lev1", "/tr1", "/enc1"};
    const std::vector<std::string> argsA = Join({MakeWav("a.wav", 3000)}, keys);
    const std::vector<std::string> argsB = Join({MakeWav("b.wav", 9000)}, keys);
    const StandInEncoder watch(StandIn::WatchOverlapThenRealLame);
    const Env path{{"PATH", watch.SearchPathWithStandInFirst()}};
    RunningProgram a = Start(argsA, path);
    RunningProgram b = Start(argsB, path);
    const CapturedRun runA = a.Finish();
    const CapturedRun runB = b.Finish();
    EXPECT_EQ(runA.exitCode, 0) << runA.out;
    EXPECT_EQ(runB.exitCode, 0) << runB.out;
    EXPECT_EQ(watch.Note("overlaps"), "");
    const std::string waiting = "Waiting for another Varnook run in " +
                                fs::canonical(dir.Path()).string() + "...";
    EXPECT_EQ(HasLine(runA.Lines(), waiting) + HasLine(runB.Lines(), waiting), 1) << runA.out;

    // Each output is the one a run on its own makes.
    const std::map<std::string, Bytes> together = Contents(dir.Path());
    fs::remove(dir.File("a.mp3"));
    fs::remove(dir.File("b.mp3"));
    ASSERT_EQ(Run(argsA).exitCode, 0);
    ASSERT_EQ(Run(argsB).exitCode, 0);
    EXPECT_TRUE(Contents(dir.Path()) == together);
}

}  // namespace
}  // namespace varnook::test
