// The program run as a hostile user or machine would run it: a stale display, FIFOs and devices
// where files belong, a closed standard output, bad values, odd folder and file names, an
// encoder that refuses its arguments. Each row is one whole run of the built program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

// What a row runs: the arguments (after the program) and the environment it adds.
struct Prepared {
    std::vector<std::string> args;
    Env env;
};

struct HostileCase {
    const char* name;
    // Makes what the run meets, beside the 2.5 s WAV "song.wav" in `dir`.
    Prepared (*setUp)(const TempDir& dir, const std::string& song);
    int exitCode;
    std::vector<std::string> lines;  // standard output holds these lines, in this order
    std::string err;                 // standard error holds this text
    std::string kept;                // a file, relative to the folder, that exists afterwards
    bool closedOutput = false;       // standard output is a pipe nobody reads
};

void PrintTo(const HostileCase& row, std::ostream* os)
{
    *os << row.name;
}

const std::vector<std::string> kLevel{"/ana0", "/lev1", "/tr0", "/enc0"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class Hostile : public BatchRun, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(Hostile, RunEndsAsExpected)
{
    const HostileCase& row = GetParam();
    const std::string song = MakeWav("song.wav");
    const Prepared prepared = row.setUp(dir, song);
    const std::set<std::string> before = Listing();

    // Under a time limit: a run that hangs fails its row instead of the whole suite.
    std::vector<std::string> args{"-k", "1", "20", VARNOOK_EXE};
    args.insert(args.end(), prepared.args.begin(), prepared.args.end());
    std::string program = "timeout";
    if (row.closedOutput) {
        // The reader is gone before the program writes its first line.
        args.insert(args.begin(), {"-c", "{ sleep 0.3; exec \"$0\" \"$@\"; } | head -c 0; exit ${PIPESTATUS[0]}",
                                   "timeout"});
        program = "bash";
    }
    const CapturedRun run = RunCaptured(program, args, WithSettings(prepared.env));

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    ExpectInOrder(run, row.lines);
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    EXPECT_TRUE(row.kept.empty() || fs::exists(dir.File(row.kept))) << row.kept;
    EXPECT_TRUE(row.exitCode != 2 || Listing() == before) << "a usage error processes nothing";
}

INSTANTIATE_TEST_SUITE_P(Runs, Hostile, ::testing::Values(
    HostileCase{"StaleDisplayBatchRunsOnTheConsole",
        [](const TempDir&, const std::string& song) {
            return Prepared{With({song}, kLevel), {{"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", "gone-0"}}};
        }, 0, {"Leveled OK"}, "", "_song.wav"},
    HostileCase{"StaleDisplayWindowModeSaysSo",
        [](const TempDir&, const std::string&) {
            return Prepared{{"/ana0"}, {{"DISPLAY", ":97"}}};
        }, 2, {}, "could not be opened", ""},
    HostileCase{"FifoSource",
        [](const TempDir& dir, const std::string&) {
            ::mkfifo(dir.File("pipe.wav").c_str(), 0600);
            return Prepared{With({dir.File("pipe.wav")}, kLevel), {}};
        }, 1, {"Not a valid file: not a regular file"}, "", "pipe.wav"},
    HostileCase{"FifoSettingsFile",
        [](const TempDir& dir, const std::string& song) {
            ::mkfifo(dir.File("fifo.ini").c_str(), 0600);
            return Prepared{With({song}, kLevel), {{"VARNOOK_INI", dir.File("fifo.ini")}}};
        }, 0, {"Leveled OK"}, "is not a regular file", ""},
    HostileCase{"DeviceSettingsFile",
        [](const TempDir&, const std::string& song) {
            return Prepared{With({song}, kLevel), {{"VARNOOK_INI", "/dev/zero"}}};
        }, 0, {"Leveled OK"}, "is not a regular file", ""},
    HostileCase{"HugeSettingsFile",
        [](const TempDir& dir, const std::string& song) {
            WriteText(dir.File("huge.ini"), "[Values]\nNewLevel=3\n" + std::string(2 << 20, ';'));
            return Prepared{With({song}, kLevel), {{"VARNOOK_INI", dir.File("huge.ini")}}};
        }, 0, {"Leveling with: 0.00 dB..."}, "larger than 1 MiB", ""},
    HostileCase{"OutOfRangeSetting",
        [](const TempDir& dir, const std::string& song) {
            WriteText(dir.File("range.ini"), "[Values]\nRmsPercent=5\n");
            return Prepared{With({song}, kLevel), {{"VARNOOK_INI", dir.File("range.ini")}}};
        }, 0, {"RmsPercent=5 in the settings file is out of range; the default 0.95 is used"}, "", ""},
    HostileCase{"ClosedStandardOutput",
        [](const TempDir& dir, const std::string& song) {
            fs::copy_file(song, dir.File("b.wav"));
            return Prepared{With({song, dir.File("b.wav")}, kLevel), {}};
        }, 0, {}, "", "_b.wav", true},
    HostileCase{"SwitchValueIsAUsageError",
        [](const TempDir&, const std::string& song) {
            return Prepared{{song, "/ana0", "/encode", "0"}, {}};
        }, 2, {}, "/enc takes 0 or 1", ""},
    HostileCase{"DestExistingFolderWithoutSlash",
        [](const TempDir& dir, const std::string& song) {
            fs::create_directory(dir.File("out.d"));
            return Prepared{With({song, "/dest", dir.File("out.d")}, kLevel), {}};
        }, 0, {}, "", "out.d/song.wav"},
    HostileCase{"DestDot",
        [](const TempDir& dir, const std::string& song) {
            fs::create_directory(dir.File("out.d"));
            return Prepared{With({song, "/dest", dir.File("out.d/.")}, kLevel), {}};
        }, 0, {}, "", "out.d/song.wav"},
    HostileCase{"DestDotDot",
        [](const TempDir& dir, const std::string& song) {
            fs::create_directories(dir.File("out.d/deeper"));
            return Prepared{With({song, "/dest", dir.File("out.d/deeper/..")}, kLevel), {}};
        }, 0, {}, "", "out.d/song.wav"},
    HostileCase{"NameTooLong",
        [](const TempDir& dir, const std::string& song) {
            return Prepared{With({song, "/dest", dir.File(std::string(300, 'x') + ".wav")}, kLevel), {}};
        }, 1, {"52: File name too long"}, "", ""},
    HostileCase{"SourceNamedLikeAWorkFile",
        [](const TempDir& dir, const std::string& song) {
            fs::copy_file(song, dir.File("VRK.tmp"));
            return Prepared{With({dir.File("VRK.tmp")}, kLevel), {}};
        }, 1, {"Not a valid file: named like a work file of Varnook"}, "", "VRK.tmp"},
    HostileCase{"EncoderRefusesItsArguments",
        [](const TempDir&, const std::string& song) {
            return Prepared{{song, "/ana0", "/lev0", "/tr0", "/enc1", "/lame", "--bogus"}, {}};
        }, 1, {"Could not encode", "lame: unrecognized option --bogus"}, "", ""}),
    RowName());

}  // namespace
}  // namespace varnook::test
