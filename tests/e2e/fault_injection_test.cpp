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
#include <deque>
#include <random>
#include <thread>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"
#include "support/stand_in_encoder.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The names a run uses for unfinished files; none may be left after a run that ended.
bool IsWorkFile(const std::string& name)
{
    return name == "VRK.tmp" || name == "VRKdec.tmp" || name == "mp3.tmp" || name.starts_with(".varnook-move-");
}

class FaultRun : public BatchRun {
protected:
    std::map<std::string, std::string> Env(std::map<std::string, std::string> env = {}) const
    {
        env.emplace("VARNOOK_INI", config.File("varnook.ini"));
        env.emplace("LC_ALL", "C.UTF-8");
        return env;
    }

    // Runs varnook behind `wrapper` (a program and its arguments that end by running the rest).
    CapturedRun RunBehind(std::vector<std::string> wrapper, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env = {})
    {
        const std::string program = wrapper.front();
        wrapper.erase(wrapper.begin());
        wrapper.push_back(VARNOOK_EXE);
        wrapper.insert(wrapper.end(), args.begin(), args.end());
        return RunCaptured(program, wrapper, Env(env));
    }

    // Starts varnook without waiting for it; its output is kept until the test ends.
    RunningProgram Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {})
    {
        return StartCaptured(captures_.emplace_back().Path().string(), VARNOOK_EXE, args, Env(env));
    }

    // The process id of a Hang stand-in, once it has started hanging.
    static pid_t HungLame(const StandInEncoder& hang)
    {
        while (hang.Note("hung.pid").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::stoi(hang.Note("hung.pid"));
    }

    // Every file of the folder by name, for "unchanged" and "whole" checks.
    std::map<std::string, Bytes> Contents(const fs::path& folder) const
    {
        std::map<std::string, Bytes> files;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadAllBytes(entry.path().string());
        return files;
    }

    // Names whose bytes differ or that only one side holds; the bytes themselves would bury
    // the report.
    static std::set<std::string> Differences(const std::map<std::string, Bytes>& a, const std::map<std::string, Bytes>& b)
    {
        std::set<std::string> names;
        for (const auto& [name, bytes] : a)
            if (b.count(name) == 0 || b.at(name) != bytes) names.insert(name);
        for (const auto& [name, bytes] : b)
            if (a.count(name) == 0) names.insert(name);
        return names;
    }

    static bool HasLine(const std::vector<std::string>& lines, const std::string& line)
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

private:
    std::deque<TempDir> captures_;
};

// Root is not stopped by permission bits; the program runs without that power.
const std::vector<std::string> kWithoutOverride{"setpriv", "--bounding-set=-dac_override",
                                                "--inh-caps=-dac_override"};

TEST_F(FaultRun, DiskFullWhileLevelingEndsTheStepAndTheFileGoesOnUnleveled)
{
    const std::string source = MakeWav("song.wav");
    const Bytes sourceBytes = ReadAllBytes(source);
    // A file size limit of half the source: the amplified copy cannot be written whole, while
    // the MP3 fits. With SIGXFSZ ignored the write fails with EFBIG, as a full disk's ENOSPC does.
    const size_t limitBlocks = sourceBytes.size() / 2 / 512;
    const CapturedRun run =
        RunBehind({"sh", "-c", "trap '' XFSZ; ulimit -f " + std::to_string(limitBlocks) + "; exec \"$@\"", "sh"},
                  {source, "/ana0", "/lev1", "/tr0", "/enc1", "/nl", "3"});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    ExpectLog(run.Lines(), {"Now processing:", source, "Checking wav file...", kInfoLine, kFormatLine, kLevelLine,
                            "61: Disk full", "Could not level", kTimeLine, "Checking wav file...", kInfoLine,
                            "Encoding...", "Encoded OK", kTimeLine, ""});
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    EXPECT_EQ(Listing(), (std::set<std::string>{"song.wav", "song.mp3"}));
    // The encoder got the source, not the cut-short copy: the MP3 holds the whole song.
    TempDir scratch;
    ASSERT_EQ(RunCaptured("lame", {"--quiet", "--decode", dir.File("song.mp3"), scratch.File("d.wav")}).exitCode, 0);
    EXPECT_GT(fs::file_size(scratch.File("d.wav")), sourceBytes.size() * 9 / 10);
}

struct ReadOnlyCase {
    const char* name;
    bool sourceFileReadOnly;
    bool sourceFolderReadOnly;
    bool outputFolderReadOnly;
    std::vector<std::string> keys;
    int exitCode;
    std::vector<std::string> expectedLines;  // in this order among the log's lines
    std::set<std::string> outputNames;       // the output folder's names afterwards
};

void PrintTo(const ReadOnlyCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReadOnlyPlaces : public FaultRun, public testing::WithParamInterface<ReadOnlyCase> {};

TEST_P(ReadOnlyPlaces, FailWithoutTouchingTheSourceOrLeavingWorkFiles)
{
    const ReadOnlyCase& c = GetParam();
    const std::string source = MakeWav("song.wav");
    const Bytes sourceBytes = ReadAllBytes(source);
    TempDir outFolder;
    std::vector<std::string> args{source};
    args.insert(args.end(), c.keys.begin(), c.keys.end());
    args.insert(args.end(), {"/dest", outFolder.Path().string() + "/"});
    if (c.sourceFileReadOnly) fs::permissions(source, fs::perms::owner_read | fs::perms::group_read);
    if (c.sourceFolderReadOnly) fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (c.outputFolderReadOnly) fs::permissions(outFolder.Path(), fs::perms::owner_read | fs::perms::owner_exec);

    const CapturedRun run = RunBehind(kWithoutOverride, args);
    fs::permissions(dir.Path(), fs::perms::owner_all);
    fs::permissions(outFolder.Path(), fs::perms::owner_all);

    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    const std::vector<std::string> lines = run.Lines();
    auto at = lines.begin();
    for (const std::string& expected : c.expectedLines) {
        at = std::find(at, lines.end(), expected);
        ASSERT_NE(at, lines.end()) << "missing [" << expected << "] in order; log:\n" << run.out;
    }
    EXPECT_EQ(ReadAllBytes(source), sourceBytes);
    EXPECT_EQ(Listing(), (std::set<std::string>{"song.wav"}));
    std::set<std::string> outputs;
    for (const auto& entry : fs::directory_iterator(outFolder.Path())) outputs.insert(entry.path().filename().string());
    EXPECT_EQ(outputs, c.outputNames);
}

const std::vector<std::string> kLevelToWav{"/ana0", "/lev1", "/tr0", "/enc0", "/nl", "3"};
const std::vector<std::string> kLevelToMp3{"/ana0", "/lev1", "/tr0", "/enc1", "/nl", "3"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadOnlyPlaces,
    testing::Values(
        ReadOnlyCase{"SourceFileIsOnlyReadAndStillProcessed", true, false, false, kLevelToMp3, 0,
                     {"Leveled OK", "Encoded OK"}, {"song.mp3"}},
        ReadOnlyCase{"SourceFolderRefusesTheWorkFile", false, true, false, kLevelToWav, 1,
                     {"70: Permission denied", "Could not level"}, {}},
        ReadOnlyCase{"OutputFolderRefusesTheWav", false, false, true, kLevelToWav, 1,
                     {"Leveled OK", "70: Permission denied"}, {}},
        ReadOnlyCase{"OutputFolderRefusesLamesFile", false, false, true, kLevelToMp3, 1,
                     {"Leveled OK", "Could not encode"}, {}}),
    RowName());

TEST_F(FaultRun, SourceThatVanishesBeforeItsTurnFailsAloneAndTheBatchEnds)
{
    const std::string first = MakeWav("a.wav");
    const std::string second = MakeWav("b.wav");
    const Bytes firstBytes = ReadAllBytes(first);
    // lame, working on the first file, deletes the second.
    const StandInEncoder remover(StandIn::RemoveThenRealLame, second);
    const CapturedRun run = Run({first, second, "/ana0", "/lev1", "/tr0", "/enc1"},
                                {{"PATH", remover.SearchPathWithStandInFirst()}});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    const std::vector<std::string> lines = run.Lines();
    const auto secondPart = std::find(lines.begin(), lines.end(), "File 2 of 2");
    ASSERT_NE(secondPart, lines.end()) << run.out;
    EXPECT_NE(std::find(lines.begin(), secondPart, "Encoded OK"), secondPart) << run.out;
    EXPECT_NE(std::find(secondPart, lines.end(), "53: File not found"), lines.end()) << run.out;
    EXPECT_EQ(ReadAllBytes(first), firstBytes);
    EXPECT_EQ(Listing(), (std::set<std::string>{"a.wav", "a.mp3"}));
    EXPECT_EQ(RunCaptured("lame", {"--quiet", "--decode", dir.File("a.mp3"), dir.File("check.wav")}).exitCode, 0);
}

TEST_F(FaultRun, InterruptWhileLameHangsEndsItAndTheBatch)
{
    const std::string first = MakeWav("one.wav");
    const std::string second = MakeWav("two.wav");
    WriteText(dir.File("one.mp3"), "the previous one.mp3");
    const std::map<std::string, Bytes> before = Contents(dir.Path());
    const StandInEncoder hang(StandIn::Hang);
    RunningProgram program =
        Start({first, second, "/ana0", "/lev1", "/tr0", "/enc1"}, {{"PATH", hang.SearchPathWithStandInFirst()}});
    const pid_t lame = HungLame(hang);
    ASSERT_EQ(::kill(program.Pid(), SIGINT), 0);
    const CapturedRun run = program.Finish();

    EXPECT_EQ(run.exitCode, 1) << run.out;
    const std::vector<std::string> lines = run.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Interrupted by user") << run.out;
    EXPECT_TRUE(HasLine(lines, "Could not encode")) << run.out;
    EXPECT_FALSE(HasLine(lines, "File 2 of 2")) << run.out;
    // lame was ended and reaped, not left running.
    EXPECT_NE(::kill(lame, 0), 0);
    EXPECT_EQ(Differences(Contents(dir.Path()), before), std::set<std::string>{});
}

// Makes this process the reaper of lame children orphaned by a killed varnook, so a test can
// wait for them.
class OrphanReaper {
public:
    OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
    static void ReapAll()
    {
        int status = 0;
        while (::waitpid(-1, &status, 0) > 0 || errno == EINTR) {
        }
    }
};

struct KillCase {
    const char* name;
    std::vector<std::string> keys;
    bool mp3Sources = false;
};

void PrintTo(const KillCase& c, std::ostream* os)
{
    *os << c.name;
}

class KilledAtRandom : public FaultRun, public testing::WithParamInterface<KillCase> {};

TEST_P(KilledAtRandom, LeavesSourcesAndFinishedOutputsWholeAndTheNextRunCleansUp)
{
    constexpr int kRounds = 8;
    constexpr unsigned kSeed = 20261206;
    std::vector<std::string> args = GetParam().mp3Sources
                                        ? std::vector<std::string>{MakeMp3("a.mp3"), MakeMp3("b.mp3")}
                                        : std::vector<std::string>{MakeWav("a.wav", 3000), MakeWav("b.wav", 9000),
                                                                   MakeWav("c.wav", 6000)};
    args.insert(args.end(), GetParam().keys.begin(), GetParam().keys.end());
    const std::map<std::string, Bytes> sources = Contents(dir.Path());

    // A whole run gives the outputs every interrupted run must match byte for byte, and how
    // long a run takes, to spread the kills over.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Run(args).exitCode, 0);
    const auto wholeRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    const std::map<std::string, Bytes> finished = Contents(dir.Path());
    ASSERT_EQ(finished.size(), 2 * sources.size());

    const OrphanReaper reaper;
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int64_t> killAfter(0, wholeRun.count());
    for (int round = 0; round < kRounds; ++round) {
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
        OrphanReaper::ReapAll();

        for (const auto& [name, bytes] : Contents(dir.Path())) {
            if (IsWorkFile(name)) continue;
            ASSERT_EQ(finished.count(name), 1u) << "unexpected file " << name;
            EXPECT_TRUE(bytes == finished.at(name)) << name << " is not whole";
        }
        const CapturedRun next = Run(args);
        EXPECT_EQ(next.exitCode, 0) << next.out;
        EXPECT_EQ(Differences(Contents(dir.Path()), finished), std::set<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, KilledAtRandom,
    testing::Values(KillCase{"LeveledTrimmedToWav", {"/ana1", "/lev1", "/tr1", "/enc0"}},
                    KillCase{"LeveledTrimmedToMp3", {"/ana1", "/lev1", "/tr1", "/enc1"}},
                    KillCase{"Mp3LeveledToWav", {"/ana1", "/lev1", "/tr1", "/enc0"}, true}),
    RowName());

TEST_F(FaultRun, KilledProgramTakesLameWithIt)
{
    // A lame working on after its varnook died would write "mp3.tmp" under the next run's lame.
    const OrphanReaper reaper;
    const StandInEncoder hang(StandIn::Hang);
    RunningProgram program =
        Start({MakeWav("one.wav"), "/ana0", "/lev1", "/tr0", "/enc1"}, {{"PATH", hang.SearchPathWithStandInFirst()}});
    const pid_t lame = HungLame(hang);
    ::kill(program.Pid(), SIGKILL);
    program.Finish();
    int status = 0;
    ASSERT_EQ(::waitpid(lame, &status, 0), lame);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "lame ended by itself";
}

TEST_F(FaultRun, TwoProgramsInOneFolderTakeTurns)
{
    const std::string first = MakeWav("a.wav", 3000);
    const std::string second = MakeWav("b.wav", 9000);
    const std::vector<std::string> keys{"/ana1", "/lev1", "/tr1", "/enc1"};
    const StandInEncoder watch(StandIn::WatchOverlapThenRealLame);
    const std::map<std::string, std::string> path{{"PATH", watch.SearchPathWithStandInFirst()}};
    std::vector<std::string> argsA{first};
    std::vector<std::string> argsB{second};
    argsA.insert(argsA.end(), keys.begin(), keys.end());
    argsB.insert(argsB.end(), keys.begin(), keys.end());
    RunningProgram a = Start(argsA, path);
    RunningProgram b = Start(argsB, path);
    const CapturedRun runA = a.Finish();
    const CapturedRun runB = b.Finish();
    EXPECT_EQ(runA.exitCode, 0) << runA.out;
    EXPECT_EQ(runB.exitCode, 0) << runB.out;
    EXPECT_EQ(watch.Note("overlaps"), "");
    const std::string waiting = "Waiting for another Varnook run in " + fs::canonical(dir.Path()).string() + "...";
    EXPECT_EQ(HasLine(runA.Lines(), waiting) + HasLine(runB.Lines(), waiting), 1) << runA.out << runB.out;

    // Each output is the one a run on its own makes.
    const std::map<std::string, Bytes> together = Contents(dir.Path());
    fs::remove(dir.Path() / "a.mp3");
    fs::remove(dir.Path() / "b.mp3");
    ASSERT_EQ(Run(argsA).exitCode, 0);
    ASSERT_EQ(Run(argsB).exitCode, 0);
    EXPECT_EQ(Differences(Contents(dir.Path()), together), std::set<std::string>{});
}

}  // namespace
}  // namespace varnook::test
