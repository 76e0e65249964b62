// The program run as a hostile user or machine would run it: a stale display, FIFOs and devices
// where files belong, a closed standard output, bad values, odd folder and file names, an
// encoder that refuses its arguments. Each row is one whole run of the built program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

// Texts are split at blanks; "{dir}" is the test's folder, which holds the 2.5 s "song.wav".
struct HostileCase {
    const char* name;
    const char* make;  // "fifo:NAME", "dir:NAME", "copy:NAME" (of the song), "ini:TEXT", "huge:NAME"
    const char* env;   // NAME=VALUE
    std::string args;
    int exitCode;
    std::string lines;  // whole lines of standard output, in this order, each ended by "|"
    std::string err;   // a part of standard error
    std::string kept;  // a file that exists afterwards
    bool closedOutput = false;  // standard output is a pipe nobody reads
};

void PrintTo(const HostileCase& row, std::ostream* os)
{
    *os << row.name;
}

std::vector<std::string> Words(const std::string& text, const std::string& dir)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (const size_t at = word.find("{dir}"); at != std::string::npos) word.replace(at, 5, dir);
        words.push_back(word);
    }
    return words;
}

class Hostile : public BatchRun, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(Hostile, RunEndsAsExpected)
{
    const HostileCase& row = GetParam();
    const std::string song = MakeWav("song.wav");
    for (const std::string& item : Words(row.make, dir.Path().string())) {
        const std::string kind = item.substr(0, item.find(':')), arg = item.substr(kind.size() + 1);
        if (kind == "fifo") ::mkfifo(dir.File(arg).c_str(), 0600);
        if (kind == "dir") fs::create_directories(dir.File(arg));
        if (kind == "copy") fs::copy_file(song, dir.File(arg));
        if (kind == "ini") WriteText(config.File("varnook.ini"), "[Values]\n" + arg + "\n");
        if (kind == "huge") WriteText(dir.File(arg), "[Values]\nNewLevel=3\n" + std::string(2 << 20, ';'));
    }
    Env env;
    for (const std::string& item : Words(row.env, dir.Path().string()))
        env[item.substr(0, item.find('='))] = item.substr(item.find('=') + 1);
    const std::set<std::string> before = Listing();

    // Under a time limit, so that a hang fails its row instead of the suite.
    std::vector<std::string> args = Words(std::string("-k 1 20 ") + VARNOOK_EXE + " " + row.args, dir.Path().string());
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = row.lines.find('|', at)) != std::string::npos; at = end + 1)
        lines.push_back(row.lines.substr(at, end - at));
    if (row.closedOutput) {
        // The reader is gone before the program writes its first line.
        args.insert(args.begin(), {"-c", "{ sleep 0.3; exec timeout \"$@\"; } | head -c 0; exit ${PIPESTATUS[0]}", "sh"});
    }
    const CapturedRun run = RunCaptured(row.closedOutput ? "bash" : "timeout", args, WithSettings(env));

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    ExpectInOrder(run, lines);
    EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    EXPECT_TRUE(row.kept.empty() || fs::exists(dir.File(row.kept))) << row.kept;
    EXPECT_TRUE(row.exitCode != 2 || Listing() == before) << "a usage error processes nothing";
}

#define LEVEL " /ana0 /lev1 /tr0 /enc0"
INSTANTIATE_TEST_SUITE_P(Runs, Hostile, ::testing::Values(
    HostileCase{"StaleDisplayBatch", "", "DISPLAY=:97 WAYLAND_DISPLAY=gone-0", "{dir}/song.wav" LEVEL, 0,
                "Leveled OK|", "", "_song.wav"},
    HostileCase{"StaleDisplayWindowMode", "", "DISPLAY=:97", "/ana0", 2, "", "could not be opened", ""},
    HostileCase{"FifoSource", "fifo:pipe.wav", "", "{dir}/pipe.wav" LEVEL, 1,
                "Not a valid file: not a regular file|", "", "pipe.wav"},
    HostileCase{"FifoSettingsFile", "fifo:fifo.ini", "VARNOOK_INI={dir}/fifo.ini", "{dir}/song.wav" LEVEL, 0,
                "Leveled OK|", "is not a regular file", ""},
    HostileCase{"DeviceSettingsFile", "", "VARNOOK_INI=/dev/zero", "{dir}/song.wav" LEVEL, 0, "Leveled OK|",
                "is not a regular file", ""},
    HostileCase{"HugeSettingsFile", "huge:huge.ini", "VARNOOK_INI={dir}/huge.ini", "{dir}/song.wav" LEVEL, 0,
                "Leveling with: 0.00 dB...|", "larger than 1 MiB", ""},
    HostileCase{"OutOfRangeSetting", "ini:RmsPercent=5", "", "{dir}/song.wav" LEVEL, 0,
                "RmsPercent=5 in the settings file is out of range; the default 0.95 is used|", "", ""},
    HostileCase{"ClosedStandardOutput", "copy:b.wav", "", "{dir}/song.wav {dir}/b.wav" LEVEL, 0, "", "", "_b.wav",
                true},
    HostileCase{"SwitchValueIsAUsageError", "", "", "{dir}/song.wav /ana0 /encode 0", 2, "",
                "/enc takes 0 or 1", ""},
    HostileCase{"DestFolderWithoutSlash", "dir:out.d", "", "{dir}/song.wav /dest {dir}/out.d" LEVEL, 0, "", "",
                "out.d/song.wav"},
    HostileCase{"DestDot", "dir:out.d", "", "{dir}/song.wav /dest {dir}/out.d/." LEVEL, 0, "", "", "out.d/song.wav"},
    HostileCase{"DestDotDot", "dir:out.d/deeper", "", "{dir}/song.wav /dest {dir}/out.d/deeper/.." LEVEL, 0, "",
                "", "out.d/song.wav"},
    HostileCase{"NameTooLong", "", "", "{dir}/song.wav /dest {dir}/" + std::string(300, 'x') + ".wav" LEVEL, 1,
                "52: File name too long|", "", ""},
    HostileCase{"SourceNamedLikeAWorkFile", "copy:VRK.tmp", "", "{dir}/VRK.tmp" LEVEL, 1,
                "Not a valid file: named like a work file of Varnook|", "", "VRK.tmp"},
    HostileCase{"EncoderRefusesItsArguments", "", "", "{dir}/song.wav /ana0 /lev0 /tr0 /enc1 /lame --bogus", 1,
                "Could not encode|lame: unrecognized option --bogus|", "", ""}),
    RowName());
#undef LEVEL

}  // namespace
}  // namespace varnook::test
