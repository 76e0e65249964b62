// Runs that end before their time: a lame that hangs until the user interrupts, and the program
// killed at random moments. Afterwards the sources are byte-identical and no output name holds
// a partial file.
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include "e2e/batch_fixture.h"
#include "support/stand_in_encoder.h"

namespace varnook::test {
namespace {


// Makes this process the reaper of lame children orphaned by a killed varnook, so a test can
// wait for them.
struct OrphanReaper {
    OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~OrphanReaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

// The real lame cannot be made to hang; the stand-in notes its process id and sleeps.
TEST_F(BatchRun, HungLameEndsWithItsProgramWhetherInterruptedOrKilled)
{
    const std::vector<std::string> args{MakeWav("one.wav"), MakeWav("two.wav"), "/ana0", "/lev1", "/tr0", "/enc1", "/jobs1"};
    WriteText(dir.File("one.mp3"), "the previous one.mp3");
    const std::map<std::string, Bytes> before = Contents(dir.Path());
    const OrphanReaper reaper;
    for (const int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal == SIGINT ? "interrupted" : "killed");
        const StandInEncoder hang(StandIn::Hang);
        RunningProgram program = Start(args, {{"PATH", hang.SearchPathWithStandInFirst()}});
        while (hang.Note("hung.pid").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const pid_t lame = std::stoi(hang.Note("hung.pid"));
        ASSERT_EQ(::kill(program.Pid(), signal), 0);
        const CapturedRun run = program.Finish();
        if (signal == SIGINT) {
            // lame was ended at once, not left to end on its own with half a file, and reaped; and
            // the batch stopped.
            EXPECT_TRUE(run.exitCode == 1 && run.out.find("\nEncoding...\nCould not encode\n") != run.out.npos &&
                        run.out.ends_with("Interrupted by user\n") && run.out.find("File 2 of 2") == run.out.npos) << run.out;
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
    const auto wholeRun = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
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
        while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) continue;
        // Only the names of unfinished work may hold anything but a whole output.
        for (const auto& [name, bytes] : Contents(dir.Path()))
            EXPECT_TRUE(name.ends_with(".tmp") || (finished.count(name) && bytes == finished.at(name))) << name << " is not whole";
        EXPECT_EQ(Run(args).exitCode, 0);
        EXPECT_TRUE(Contents(dir.Path()) == finished) << "the next run left a different folder";
    }
}

}  // namespace
}  // namespace varnook::test
