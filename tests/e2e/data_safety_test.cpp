// Runs that try to make Varnook lose a file, report a failure as success, leave work files
// behind or write where it should not: full disks (a small tmpfs), planted links, outputs that
// name sources, odd destinations. Each row prepares its folder in a few steps, runs the real
// program (with the real lame) and checks what must be kept, what must be gone and what made.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

struct SafetyCase {
    const char* name;
    Names steps;  // "disk SIZE", "wav|mp3|odd|dir|text NAME", "link NAME TARGET", "room WAV", "traced"
    Names args;   // a word starting with "@" names a file in the folder
    std::string shell;  // runs the command as "$@" when set
    int exitCode;
    std::string line;  // the start of a log line the run must write
    Names kept, gone, made;  // byte-identical; absent, not even a link; regular files
    std::function<void(const std::string& folder)> alsoCheck = nullptr;
};
void PrintTo(const SafetyCase& row, std::ostream* os) { *os << row.name; }

const Names kJustEncode{"/ana0", "/lev0", "/tr0", "/enc1"};
const Names kLevelToWav{"/ana0", "/lev1", "/tr0", "/enc0", "/nl", "3"};

Names With(Names a, const Names& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class DataSafety : public BatchRun, public testing::WithParamInterface<SafetyCase> {
protected:
    ~DataSafety() override
    {
        if (mounted_) ::umount2(dir.File("disk").c_str(), MNT_DETACH);
    }

    void Step(const std::string& step)
    {
        std::istringstream words(step);
        std::string what, name, more;
        words >> what >> name >> more;
        const std::string at = dir.File(name);
        if (what == "wav") MakeWav(name);
        if (what == "mp3") MakeMp3(name);
        if (what == "dir") fs::create_directory(at);
        if (what == "text") WriteText(at, "not music");
        if (what == "link") fs::create_symlink(more, at);
        // No loudness filter is made for this rate, so a trim fails before it cuts anything.
        if (what == "odd") {
            WavLayout layout;
            layout.sampleRate = 12345;
            WriteAllBytes(at, BuildWav(layout, Sine(440, 6000, 12345, 24690)));
        }
        if (what == "disk") {  // "disk SIZE": a file system of its own at "disk/"
            fs::create_directory(dir.File("disk"));
            if (::geteuid() != 0) GTEST_SKIP() << "a full disk needs a tmpfs, which only root may mount";
            if (::mount("tmpfs", dir.File("disk").c_str(), "tmpfs", 0, ("size=" + name).c_str()) != 0)
                GTEST_SKIP() << "could not mount a tmpfs: " << std::strerror(errno);
            mounted_ = true;
        }
        if (what == "traced" && RunCaptured("strace", {"-o", "/dev/null", "true"}).exitCode != 0)
            GTEST_SKIP() << "strace cannot trace here (no ptrace in this container?)";
        if (what == "room") {  // leaves room for all of the WAV's MP3 but its last page
            fs::copy_file(at, dir.File("whole.wav"));
            ASSERT_EQ(Run(With({dir.File("whole.wav")}, kJustEncode)).exitCode, 0);
            const uint64_t page = 4096, mp3 = fs::file_size(dir.File("whole.mp3")) / page * page;
            struct statvfs disk {};
            ASSERT_EQ(::statvfs(fs::path(at).parent_path().c_str(), &disk), 0);
            WriteAllBytes(dir.File("disk/fill"), Bytes(uint64_t{disk.f_bavail} * disk.f_frsize - mp3, 0));
        }
    }

private:
    bool mounted_ = false;
};

const SafetyCase kCases[] = {
    {"DecodeOntoFullDisk", {"disk 256k", "mp3 disk/song.mp3"}, {"@disk/song.mp3", "/ana0", "/lev0", "/tr0", "/enc0"},
     "", 1, "Could not decode", {"disk/song.mp3"}, {"disk/song.wav", "disk/VRKdec.tmp"}, {}},
    // lame checks its writes but not the flush when it closes the file.
    {"EncodeLosesItsLastPage", {"disk 1m", "wav disk/song.wav", "room disk/song.wav"},
     With({"@disk/song.wav"}, kJustEncode), "", 1, "Could not encode", {"disk/song.wav"},
     {"disk/song.mp3", "disk/mp3.tmp"}, {}},
    {"SourceIsAnotherSourcesDecode", {"mp3 song.mp3", "wav song.wav"}, {"@song.mp3", "@song.wav", "/enc", "0"},
     "", 1, "Could not write over a source of this run: ", {"song.wav", "song.mp3"}, {"VRKdec.tmp"}, {"_song.wav"}},
    {"EarlierOutputUnderTheDecodeName", {"mp3 song.mp3", "wav song.wav", "wav _song.wav"}, {"@song.mp3", "/tr0"},
     "", 0, "Encoded OK", {"song.wav", "_song.wav"}, {"VRKdec.tmp", "VRK.tmp"}, {"_song.mp3"}},
    {"FailedTrimDeliversNothing", {"odd odd.wav", "wav _odd.wav"}, {"@odd.wav", "/ana0", "/lev0", "/tr1", "/enc0"},
     "", 1, "Could not trim", {"odd.wav", "_odd.wav"}, {"VRK.tmp"}, {}},
    {"FailedFinalRenameLeavesNothing", {"mp3 song.mp3", "dir out"}, {"@song.mp3", "/dest", "@out/" + std::string(300, 'x') + ".mp3", "/tr0"},
     "", 1, "Encoding...", {"song.mp3"}, {"out/mp3.tmp", "song.wav", "VRKdec.tmp", "VRK.tmp"}, {}},
    {"PlantedLinksAtWorkFiles", {"wav song.wav", "text victim.txt", "dir out", "link out/mp3.tmp ../victim.txt", "link VRK.tmp planted.wav"},
     {"@song.wav", "/dest", "@out/", "/ana0", "/lev1", "/tr0", "/enc1"}, "", 0, "Encoded OK", {"song.wav", "victim.txt"},
     {"out/mp3.tmp", "VRK.tmp", "planted.wav"}, {"out/song.mp3"}},
    // The leftover is what a kill during the copy to another file system leaves.
    {"OutputMovedAcrossFileSystems", {"disk 4m", "wav song.wav", "text disk/VRKmove.tmp"},
     With({"@song.wav", "/dest", "@disk/"}, kLevelToWav), "umask 027; exec \"$@\"", 0, "Leveled OK", {"song.wav"},
     {"VRK.tmp", "disk/VRKmove.tmp"}, {"disk/song.wav"},
     [](const std::string& folder) {
         EXPECT_EQ(fs::status(folder + "/disk/song.wav").permissions(),
                   fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
     }},
    {"RelativeDestStartingWithDash", {"wav song.wav", "dir -out"}, With({"@song.wav", "/dest", "-out/"}, kJustEncode),
     "cd \"${2%/*}\" && exec \"$@\"", 0, "Encoded OK", {"song.wav"}, {"-out/mp3.tmp"}, {"-out/song.mp3"}},
    // Without a sync of the folder, a power cut right after the rename may bring the old name back.
    {"FolderSyncedAfterTheRename", {"traced", "wav song.wav"}, With({"@song.wav"}, kLevelToWav),
     "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 strace -f -o \"${2%/*}/trace\" -e trace=openat,rename,renameat,renameat2,fsync \"$@\"", 0, "Leveled OK", {"song.wav"}, {"VRK.tmp"}, {"_song.wav"},
     [](const std::string& folder) {
         const std::string trace = ReadText(folder + "/trace");
         const size_t open = trace.find("\"" + folder + "/\", O_RDONLY", trace.find("\"" + folder + "/_song.wav\""));
         ASSERT_NE(open, std::string::npos) << "no folder opened after the rename:\n" << trace;
         const std::string line = trace.substr(open, trace.find('\n', open) - open);
         EXPECT_NE(line.find("O_DIRECTORY"), std::string::npos) << line;
         EXPECT_NE(trace.find("fsync(" + line.substr(line.rfind("= ") + 2) + ")", open), std::string::npos) << trace;
     }},
};

TEST_P(DataSafety, KeepsFilesAndReportsTheTruth)
{
    const SafetyCase& row = GetParam();
    for (const std::string& step : row.steps) {
        Step(step);
        if (IsSkipped() || HasFatalFailure()) return;
    }
    std::map<std::string, Bytes> before;
    for (const std::string& name : row.kept) before[name] = ReadAllBytes(dir.File(name));
    Names command{VARNOOK_EXE};
    for (const std::string& arg : row.args) command.push_back(arg[0] == '@' ? dir.File(arg.substr(1)) : arg);
    if (!row.shell.empty()) command = With({"-c", row.shell, "sh"}, command);
    const CapturedRun run = row.shell.empty() ? Run({command.begin() + 1, command.end()}) : RunCaptured("sh", command, WithSettings());

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    const Names lines = run.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(row.line, 0) == 0; }))
        << "no line starting [" << row.line << "]:\n" << run.out;
    for (const std::string& name : row.kept)
        EXPECT_TRUE(fs::exists(dir.File(name)) && ReadAllBytes(dir.File(name)) == before[name]) << name << " changed";
    for (const std::string& name : row.gone) EXPECT_EQ(fs::symlink_status(dir.File(name)).type(), fs::file_type::not_found) << name;
    for (const std::string& name : row.made) EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.File(name)))) << name;
    if (row.alsoCheck) row.alsoCheck(dir.Path().string());
}

INSTANTIATE_TEST_SUITE_P(Faults, DataSafety, testing::ValuesIn(kCases), RowName{});

}  // namespace
}  // namespace varnook::test
