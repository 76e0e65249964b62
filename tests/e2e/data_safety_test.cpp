// Runs that try to make Varnook lose a file, report a failure as success, leave work files
// behind or write where it should not: full disks (a small tmpfs), planted links, outputs that
// name sources, odd destinations. Each row prepares its folder, runs the real program (with the
// real lame) and checks what must be kept, what must be gone and what must have been made.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "e2e/batch_fixture.h"
#include "support/param_name.h"

namespace varnook::test {
namespace {

namespace fs = std::filesystem;

class DataSafety;

struct SafetyCase {
    const char* name;
    // Makes the files and returns the command (program first), paths relative to the folder.
    std::function<std::vector<std::string>(DataSafety&)> prepare;
    int exitCode;
    std::string line;                  // the start of a log line the run must write
    std::vector<std::string> kept;     // byte-identical afterwards
    std::vector<std::string> gone;     // absent afterwards (not even a dangling link)
    std::vector<std::string> made;     // regular files afterwards, never links
    std::function<void(DataSafety&)> alsoCheck = nullptr;
};
void PrintTo(const SafetyCase& row, std::ostream* os) { *os << row.name; }

class DataSafety : public BatchRun, public testing::WithParamInterface<SafetyCase> {
public:
    using BatchRun::config;
    using BatchRun::dir;
    using BatchRun::MakeMp3;
    using BatchRun::MakeWav;
    using BatchRun::Run;
    ~DataSafety() override
    {
        if (mounted_) ::umount2(dir.File("disk").c_str(), MNT_DETACH);
    }

    std::string At(const std::string& name) const { return dir.File(name); }

    // The command for varnook; the first word is a file in the folder, the others as given.
    std::vector<std::string> Varnook(std::vector<std::string> args) const
    {
        args[0] = At(args[0]);
        args.insert(args.begin(), VARNOOK_EXE);
        return args;
    }

    // A small file system of its own at "disk/", so a write can run out of room for real.
    void MountSmallDisk(const std::string& size)
    {
        fs::create_directory(At("disk"));
        if (::geteuid() != 0) GTEST_SKIP() << "a full disk needs a tmpfs, which only root may mount";
        if (::mount("tmpfs", At("disk").c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
            GTEST_SKIP() << "could not mount a tmpfs: " << std::strerror(errno);
        mounted_ = true;
    }

    // Fills the small disk until `bytes` (whole pages) are left free.
    void LeaveFree(uint64_t bytes)
    {
        struct statvfs disk {};
        ASSERT_EQ(::statvfs(At("disk").c_str(), &disk), 0);
        const uint64_t free = uint64_t{disk.f_bavail} * disk.f_frsize;
        ASSERT_GE(free, bytes);
        WriteAllBytes(At("disk/fill"), Bytes(free - bytes, 0));
    }


private:
    bool mounted_ = false;
};

const std::vector<std::string> kJustEncode{"/ana0", "/lev0", "/tr0", "/enc1"};
const std::vector<std::string> kLevelToWav{"/ana0", "/lev1", "/tr0", "/enc0", "/nl", "3"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> InShell(const std::string& script, const std::vector<std::string>& command)
{
    return With({"sh", "-c", script, "sh"}, command);
}

// The page size of the small disk: tmpfs hands out whole pages.
constexpr uint64_t kPage = 4096;

const SafetyCase kCases[] = {
    {"DecodeOntoFullDisk",
     [](DataSafety& t) {
         t.MountSmallDisk("256k");
         t.MakeMp3("disk/song.mp3");
         return t.Varnook({"disk/song.mp3", "/ana0", "/lev0", "/tr0", "/enc0"});
     },
     1, "Could not decode", {"disk/song.mp3"}, {"disk/song.wav", "disk/_song.wav", "disk/VRKdec.tmp"}, {}},
    // lame checks its writes but not the last flush: with room for all but the last page it
    // exits 0 and leaves an MP3 without its end.
    {"EncodeLosesItsLastPage",
     [](DataSafety& t) {
         t.MakeWav("whole.wav");
         EXPECT_EQ(t.Run(With({t.At("whole.wav")}, kJustEncode)).exitCode, 0);
         const uint64_t whole = fs::file_size(t.At("whole.mp3"));
         t.MountSmallDisk("1m");
         t.MakeWav("disk/song.wav");
         t.LeaveFree(whole / kPage * kPage);
         return t.Varnook(With({"disk/song.wav"}, kJustEncode));
     },
     1, "Could not encode", {"disk/song.wav"}, {"disk/song.mp3", "disk/mp3.tmp"}, {}},
    {"SourceIsAnotherSourcesDecode",
     [](DataSafety& t) {
         t.MakeMp3("song.mp3");
         t.MakeWav("song.wav", 9000);
         return t.Varnook({"song.mp3", t.At("song.wav"), "/enc", "0"});
     },
     1, "Could not write over a source of this run: ", {"song.wav", "song.mp3"}, {"VRKdec.tmp"}, {"_song.wav"}},
    {"DestIsAnotherSource",
     [](DataSafety& t) {
         t.MakeWav("a.wav");
         t.MakeWav("b.wav", 9000);
         return t.Varnook(With({"a.wav", t.At("b.wav"), "/dest", t.At("b.wav")}, {"/ana0", "/lev1", "/tr0"}));
     },
     1, "Could not write over a source of this run: ", {"a.wav", "b.wav"}, {"VRK.tmp"}, {"_b.wav"}},
    {"EarlierOutputUnderTheDecodeName",
     [](DataSafety& t) {
         t.MakeMp3("song.mp3");
         t.MakeWav("song.wav", 9000);
         t.MakeWav("_song.wav", 3000);
         return t.Varnook({"song.mp3", "/tr0"});
     },
     0, "Encoded OK", {"song.wav", "_song.wav", "song.mp3"}, {"VRKdec.tmp", "VRK.tmp"}, {"_song.mp3"}},
    // No loudness filter is made for 12345 Hz, so the trim fails before it cuts anything.
    {"FailedTrimDeliversNothing",
     [](DataSafety& t) {
         WavLayout layout;
         layout.sampleRate = 12345;
         WriteAllBytes(t.At("odd.wav"), BuildWav(layout, Sine(440, 6000, 12345, 12345 * 2)));
         t.MakeWav("_odd.wav");
         return t.Varnook({"odd.wav", "/ana0", "/lev0", "/tr1", "/enc0"});
     },
     1, "Could not trim", {"odd.wav", "_odd.wav"}, {"VRK.tmp"}, {}},
    {"LeftoverOfAKilledMoveIsRemoved",
     [](DataSafety& t) {
         t.MakeWav("song.wav");
         fs::create_directory(t.At("out"));
         WriteText(t.At("out/VRKmove.tmp"), "half a file");
         return t.Varnook(With({"song.wav", "/dest", t.At("out/")}, kLevelToWav));
     },
     0, "Leveled OK", {"song.wav"}, {"out/VRKmove.tmp", "VRK.tmp"}, {"out/song.wav"}},
    {"FailedFinalRenameLeavesNothing",
     [](DataSafety& t) {
         t.MakeMp3("song.mp3");
         fs::create_directory(t.At("out"));
         return t.Varnook({"song.mp3", "/dest", t.At("out/") + std::string(300, 'x') + ".mp3", "/tr0"});
     },
     1, "Encoding...", {"song.mp3"}, {"out/mp3.tmp", "song.wav", "VRKdec.tmp", "VRK.tmp"}, {}},
    {"LinkAtLamesWorkFile",
     [](DataSafety& t) {
         t.MakeWav("song.wav");
         WriteText(t.At("victim.txt"), "not music");
         fs::create_directory(t.At("out"));
         fs::create_symlink("../victim.txt", t.At("out/mp3.tmp"));
         return t.Varnook(With({"song.wav", "/dest", t.At("out/")}, kJustEncode));
     },
     0, "Encoded OK", {"song.wav", "victim.txt"}, {"out/mp3.tmp"}, {"out/song.mp3"}},
    {"DanglingLinkAtTheWorkFile",
     [](DataSafety& t) {
         t.MakeWav("song.wav");
         fs::create_symlink("planted.wav", t.At("VRK.tmp"));
         return t.Varnook(With({"song.wav"}, kLevelToWav));
     },
     0, "Leveled OK", {"song.wav"}, {"planted.wav", "VRK.tmp"}, {"_song.wav"}},
    {"OutputMovedAcrossFileSystemsTakesTheUmask",
     [](DataSafety& t) {
         t.MountSmallDisk("4m");
         t.MakeWav("song.wav");
         return InShell("umask 027; exec \"$@\"", t.Varnook(With({"song.wav", "/dest", t.At("disk/")}, kLevelToWav)));
     },
     0, "Leveled OK", {"song.wav"}, {"VRK.tmp", "disk/VRKmove.tmp"}, {"disk/song.wav"},
     [](DataSafety& t) {
         EXPECT_EQ(fs::status(t.At("disk/song.wav")).permissions(),
                   fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
     }},
    {"RelativeDestStartingWithDash",
     [](DataSafety& t) {
         t.MakeWav("song.wav");
         fs::create_directory(t.At("-out"));
         return InShell("cd \"$1\" && shift && exec \"$@\"",
                        With({t.dir.Path().string(), VARNOOK_EXE, "song.wav", "/dest", "-out/"}, kJustEncode));
     },
     0, "Encoded OK", {"song.wav"}, {"-out/mp3.tmp"}, {"-out/song.mp3"}},
    // Without a sync of the folder, a power cut right after the rename may bring the old name back.
    {"FolderSyncedAfterTheRename",
     [](DataSafety& t) {
         t.MakeWav("song.wav");
         return With({"strace", "-f", "-e", "trace=openat,rename,renameat,renameat2,fsync", "-o",
                      t.config.File("trace")},
                     t.Varnook(With({"song.wav"}, kLevelToWav)));
     },
     0, "Leveled OK", {"song.wav"}, {"VRK.tmp"}, {"_song.wav"},
     [](DataSafety& t) {
         const std::string trace = ReadText(t.config.File("trace"));
         const size_t rename = trace.find("\"" + t.At("_song.wav") + "\"");
         ASSERT_NE(rename, std::string::npos) << trace;
         const size_t open = trace.find("\"" + t.dir.Path().string() + "/\", O_RDONLY", rename);
         ASSERT_NE(open, std::string::npos) << "no folder opened after the rename:\n" << trace;
         const std::string line = trace.substr(open, trace.find('\n', open) - open);
         EXPECT_NE(line.find("O_DIRECTORY"), std::string::npos) << line;
         const std::string fd = line.substr(line.rfind("= ") + 2);
         EXPECT_NE(trace.find("fsync(" + fd + ")", open), std::string::npos) << trace;
     }},
};

TEST_P(DataSafety, KeepsFilesAndReportsTheTruth)
{
    const SafetyCase& row = GetParam();
    const std::vector<std::string> command = row.prepare(*this);
    if (IsSkipped()) return;
    std::map<std::string, Bytes> before;
    for (const std::string& name : row.kept) before[name] = ReadAllBytes(At(name));

    const CapturedRun run = RunCaptured(command[0], {command.begin() + 1, command.end()}, WithSettings());

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    const std::vector<std::string> lines = run.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(row.line, 0) == 0; }))
        << "no line starting [" << row.line << "]:\n" << run.out;
    for (const std::string& name : row.kept)
        EXPECT_TRUE(fs::exists(At(name)) && ReadAllBytes(At(name)) == before[name]) << name << " changed";
    for (const std::string& name : row.gone)
        EXPECT_EQ(fs::symlink_status(At(name)).type(), fs::file_type::not_found) << name;
    for (const std::string& name : row.made) EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(At(name)))) << name;
    if (row.alsoCheck) row.alsoCheck(*this);
}

INSTANTIATE_TEST_SUITE_P(Faults, DataSafety, testing::ValuesIn(kCases), RowName{});

}  // namespace
}  // namespace varnook::test
