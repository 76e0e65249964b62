// Whole runs of the built program, with the real lame, on a folder prepared as a careless user
// or a failing machine leaves it: full disks (a small tmpfs, a file size limit), read-only
// places, planted links, FIFOs where files belong, outputs that name sources, a stale display,
// a closed standard output, a lame that fails; and sources of every kind. Each row checks how
// the run ends and what it said, that the folder then holds exactly the kept files, byte for
// byte, and the outputs, and that no settings file was written. Last, the windows: only they
// store the settings.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "e2e/batch_fixture.h"
#include "formats/formats.h"
#include "id3/source_tags.h"
#include "settings/ini_file.h"
#include "support/param_name.h"
#include "support/stand_in_encoder.h"
#include "support/tag_sets.h"

namespace varnook::test {
namespace {

using namespace std::string_literals;

// The bytes of 1.7 s of the 2.5 s song as a 44.1 kHz WAV, and as an MP3 at lame's 128 kb/s: a
// trimmed song keeps 1.9 s, a file cut short at half the song holds 1.25 s.
constexpr uintmax_t kWholeWav = 300000;
constexpr uintmax_t kWholeMp3 = 27000;

// What umask 027 leaves of a new file's 0666.
constexpr fs::perms kUmasked = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

const std::string kLevelToWav = " /ana0 /lev1 /tr0 /enc0 /nl 3";
const std::string kLevelToMp3 = " /ana0 /lev1 /tr0 /enc1 /nl 3";
const std::string kJustEncode = " /ana0 /lev0 /tr0 /enc1";
// Root passes permission bits by; the program runs without that power.
const std::string kNotRoot = "exec setpriv --bounding-set=-dac_override --inh-caps=-dac_override \"$@\"";
// A file size limit stands in for a full disk: with SIGXFSZ ignored a write past it fails with
// EFBIG, as ENOSPC does. 215 of bash's 1024-byte blocks hold half the song.
const std::string kHalfTheSongFits = "trap '' XFSZ; ulimit -f 215; " + kNotRoot;

struct RunCase {
    std::string name;
    Names steps = {};        // see Step()
    std::string args = {};   // split at blanks; "{dir}" is the folder, "{tmp}" a scratch folder
    int exitCode = 0;
    Names lines = {};        // openings of log lines, in this order
    Names kept = {};         // byte-identical afterwards
    Names made = {};         // regular files with the umask's permissions, songs of 1.7 s or more
    std::string shell = {};  // a bash script that runs the command as "$@", under umask 027
    std::string err = {};    // a part of standard error
    std::function<void(const std::string& dir, const std::string& tmp)> alsoCheck = nullptr;
};
void PrintTo(const RunCase& row, std::ostream* os) { *os << row.name; }

class WholeRun : public BatchRun, public testing::WithParamInterface<RunCase> {
protected:
    ~WholeRun() override { ::umount2(dir.File("disk").c_str(), MNT_DETACH); }  // when a row mounted one

    void Step(const std::string& step)
    {
        const Names words = Words(step);
        const std::string what = words.at(0), name = words.size() > 1 ? words[1] : "", at = dir.File(name);
        Names rest(words.begin() + std::min<size_t>(words.size(), 2), words.end());
        if (what == "wav") MakeWav(name);
        if (what == "mp3") MakeMp3(name);
        if (what == "dir") fs::create_directory(at);
        if (what == "text") WriteText(at, "not music");
        if (what == "link") fs::create_symlink(rest.at(0), at);
        if (what == "readonly") fs::permissions(at, fs::perms::owner_read | fs::perms::owner_exec);
        if (what == "env") env_[name.substr(0, name.find('='))] = Expand(name.substr(name.find('=') + 1));
        if (what == "sox" || what == "ffmpeg") {  // "sox NAME OPTIONS...": the tone made into NAME
            WriteAllBytes(config.File("tone.wav"), ToneWav());
            rest.insert(rest.begin(), {"-v", "error", "-i", config.File("tone.wav")});
            rest.push_back(at);
            ASSERT_EQ(RunCaptured(what, {rest.begin() + (what == "sox" ? 3 : 0), rest.end()}).exitCode, 0);
        }
        if (what == "fifo") { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }
        if (what == "samples" || what == "cut" || what == "frames" || what == "riff") Craft(what, at, rest);
        if (what == "node" && ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)  // a /dev/null of its own
            GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
        if (what == "room") {  // leaves room on the disk for all of the WAV's MP3 but its last page
            fs::copy_file(at, config.File("whole.wav"));
            ASSERT_EQ(Run({config.File("whole.wav"), "/ana0", "/lev0", "/tr0", "/enc1"}).exitCode, 0);
            const uintmax_t page = 4096, mp3 = fs::file_size(config.File("whole.mp3")) / page * page;
            WriteAllBytes(dir.File("disk/fill"), Bytes(fs::space(fs::path(at).parent_path()).available - mp3, 0));
        }
        if (what == "traced" && RunCaptured("strace", {"-o", "/dev/null", "true"}).exitCode != 0)
            GTEST_SKIP() << "strace cannot trace here (no ptrace in this container?)";
        if (what == "disk") {  // "disk SIZE": a file system of its own at "disk/"
            fs::create_directory(dir.File("disk"));
            if (::geteuid() != 0) GTEST_SKIP() << "a full disk needs a tmpfs, which only root may mount";
            if (::mount("tmpfs", dir.File("disk").c_str(), "tmpfs", 0, ("size=" + name).c_str()) != 0)
                GTEST_SKIP() << "could not mount a tmpfs: " << std::strerror(errno);
        }
    }

    // "samples NAME N": the FLAC's STREAMINFO counts N samples (36 bits from the low half of
    // byte 21 on). "cut NAME": the FLAC ends where its first frame past a third begins (sox's
    // frames start with the sync bytes FF F8). "frames NAME N": N TXXX frames of 20 bytes in a
    // 2.3 tag before the MP3. "riff NAME": the WAV's RIFF size says 0.
    static void Craft(const std::string& what, const std::string& at, const Names& rest)
    {
        Bytes bytes = ReadAllBytes(at);
        if (what == "riff") std::fill(bytes.begin() + 4, bytes.begin() + 8, 0);
        if (what == "samples") {
            const uint64_t samples = std::stoull(rest.at(0));
            bytes.at(21) = static_cast<uint8_t>((bytes[21] & 0xF0) | samples >> 32);
            for (int i = 0; i < 4; ++i) bytes.at(22 + i) = static_cast<uint8_t>(samples >> (24 - 8 * i));
        }
        if (what == "cut") {
            const uint8_t sync[] = {0xFF, 0xF8};
            bytes.erase(std::search(bytes.begin() + bytes.size() / 3, bytes.end(), sync, sync + 2), bytes.end());
        }
        if (what == "frames") {
            std::string body;
            for (int i = 0, count = std::stoi(rest.at(0)); i < count; ++i)
                body += Id3Frame(3, "TXXX", "\0K"s + std::to_string(1000000 + i).substr(1) + "\0v"s);
            const std::string tag = Id3Tag(3, body);
            bytes.insert(bytes.begin(), tag.begin(), tag.end());
        }
        WriteAllBytes(at, bytes);
    }

    Env env_;
};

TEST_P(WholeRun, EndsAsExpectedAndKeepsEveryFile)
{
    const RunCase& row = GetParam();
    for (const std::string& step : row.steps) {
        Step(step);
        if (IsSkipped() || HasFatalFailure()) return;
    }
    std::map<std::string, Bytes> before;
    for (const std::string& name : row.kept) before[name] = ReadAllBytes(dir.File(name));
    // Under a time limit, so that a hang fails its row instead of the suite, and a umask that
    // every output must show.
    const std::string script = "umask 027; " + Expand(row.shell.empty() ? "exec \"$@\"" : row.shell);
    Names command{"-c", script, "bash", "/usr/bin/timeout", "-k", "1", "60", VARNOOK_EXE}, args = Words(row.args);
    command.insert(command.end(), args.begin(), args.end());
    const CapturedRun run = RunCaptured("bash", command, WithSettings(env_));

    EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    ExpectInOrder(run, row.lines);
    EXPECT_NE(run.err.find(Expand(row.err)), std::string::npos) << run.err;
    std::set<std::string> expected(row.kept.begin(), row.kept.end());
    expected.insert(row.made.begin(), row.made.end());
    std::set<std::string> listing;  // files and links, not folders or FIFOs
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
        if (entry.is_regular_file() || entry.is_symlink()) listing.insert(entry.path().lexically_relative(dir.Path()).string());
    EXPECT_EQ(listing, expected);
    for (const std::string& name : row.kept)
        EXPECT_TRUE(fs::exists(dir.File(name)) && ReadAllBytes(dir.File(name)) == before[name]) << name << " changed";
    for (const std::string& name : row.made) {
        ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(dir.File(name)))) << name;
        EXPECT_EQ(fs::status(dir.File(name)).permissions(), kUmasked) << name;
        EXPECT_GE(fs::file_size(dir.File(name)), name.ends_with(".mp3") ? kWholeMp3 : name.ends_with(".wav") ? kWholeWav : 0) << name;
    }
    EXPECT_FALSE(fs::exists(config.File("varnook.ini"))) << "a batch run stores no settings";
    if (row.alsoCheck) row.alsoCheck(dir.Path().string(), config.Path().string());
}

// Where the output goes and what it may replace.
INSTANTIATE_TEST_SUITE_P(Outputs, WholeRun, testing::Values(
    // The decode goes to "_song.wav" and is then moved over the earlier "song.wav".
    RunCase{"Mp3EncodeOffReplacesAnEarlierWav", {"mp3 song.mp3", "text song.wav"},
            "{dir}/song.mp3 /ana0 /lev0 /tr0 /enc0", 0, {"Decoded OK"}, {"song.mp3"}, {"song.wav"}},
    RunCase{"EarlierOutputUnderTheDecodeName", {"mp3 song.mp3", "wav song.wav", "wav _song.wav"}, "{dir}/song.mp3 /tr0",
            0, {"Encoded OK"}, {"song.mp3", "song.wav", "_song.wav"}, {"_song.mp3"}},
    RunCase{"SourceIsAnotherSourcesDecode", {"mp3 song.mp3", "wav song.wav"}, "{dir}/song.mp3 {dir}/song.wav /enc 0",
            1, {"Could not write over a source of this run: "}, {"song.wav", "song.mp3"}, {"_song.wav"}},
    RunCase{"RelativeDestStartingWithDash", {"wav song.wav", "dir -out"}, "{dir}/song.wav /dest -out/" + kJustEncode,
            0, {"Encoded OK"}, {"song.wav"}, {"-out/song.mp3"}, "cd {dir} && exec \"$@\""},
    RunCase{"NameTooLong", {"mp3 song.mp3", "dir out"}, "{dir}/song.mp3 /tr0 /dest {dir}/out/" + std::string(300, 'x') + ".mp3",
            1, {"Encoding...", "52: File name too long"}, {"song.mp3"}},
    // The work file is made beside the output, so the output is renamed into place there.
    RunCase{"OutputOnAnotherFileSystem", {"disk 4m", "wav song.wav"}, "{dir}/song.wav /dest {dir}/disk/" + kLevelToWav, 0,
            {"Leveled OK"}, {"song.wav"}, {"disk/song.wav"}},
    // Without a sync of the folder, a power cut right after the rename may bring the old name back
    // (-y names each descriptor's file: the folder's own is synced after the rename).
    RunCase{"FolderSyncedAfterTheRename", {"traced", "wav song.wav"}, "{dir}/song.wav" + kLevelToWav, 0, {"Leveled OK"},
            {"song.wav"}, {"_song.wav"}, "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 strace -f -y -o {tmp}/trace "
            "-e trace=rename,renameat,renameat2,fsync \"$@\"", "", [](const std::string& dir, const std::string& tmp) {
                const std::string trace = ReadText(tmp + "/trace");
                EXPECT_NE(trace.find("<" + dir + ">) = 0", trace.find(dir + "/_song.wav\"")), trace.npos) << trace;
            }}),
    RowName());

// Where a run writes: a /dest made when missing, outputs and pictures named once before the
// first file, work files beside the output, nothing through a link or into a source, only an
// extension Varnook writes, a converted source named as its WAV would be.
const std::vector<RunCase> kPlaceRows{
    RunCase{"DestAndReportFoldersMade", {"dir lib", "wav lib/a.wav"}, "{dir}/lib /dest {dir}/new/out/ /report "
            "{dir}/logs/r.csv" + kLevelToWav, 0, {"Leveled OK"}, {"lib/a.wav"}, {"new/out/a.wav", "logs/r.csv"}},
    RunCase{"DestThatCannotBeMade", {"wav song.wav", "text file"}, "{dir}/song.wav /dest {dir}/file/out/" + kLevelToWav,
            2, {}, {"song.wav", "file"}, {}, "", "/dest folder {dir}/file/out/ could not be made: 76: Path not found"},
    RunCase{"WavAndFlacOfOneSong", {"dir lib", "wav lib/song.wav", "sox lib/song.flac"}, "{dir}/lib" + kLevelToWav, 1,
            {"Converted OK", "Output named twice: {dir}/lib/_song.wav ({dir}/lib/song.flac and {dir}/lib/song.wav)"},
            {"lib/song.wav", "lib/song.flac"}, {"lib/_song.wav"}},
    RunCase{"DestInsideTheFolderSource", {"dir lib", "wav lib/a.wav", "dir lib/out", "mp3 lib/out/a.mp3"},
            "{dir}/lib /dest {dir}/lib/out/" + kJustEncode, 0, {"Encoded OK"}, {"lib/a.wav"}, {"lib/out/a.mp3"}},
    RunCase{"ReadOnlyLibraryWithAWritableDest", {"dir lib", "wav lib/song.wav", "riff lib/song.wav",
            "readonly lib/song.wav", "readonly lib"}, "{dir}/lib/song.wav /dest {dir}/out/" + kLevelToWav, 0,
            {"Bad file size info: 0", "File size info corrected to: ", "Leveled OK"}, {"lib/song.wav"}, {"out/song.wav"},
            kNotRoot},
    RunCase{"ReportIsASource", {"wav song.wav"}, "{dir}/song.wav /report {dir}/song.wav" + kLevelToWav, 2, {},
            {"song.wav"}, {}, "", "/report {dir}/song.wav is a source of this run"},
    RunCase{"ReportIsAFifo", {"wav song.wav", "fifo r.csv"}, "{dir}/song.wav /report {dir}/r.csv" + kLevelToWav, 2, {},
            {"song.wav"}, {}, "", "/report {dir}/r.csv is not a regular file"},
    RunCase{"PlotIsALink", {"wav song.wav", "text victim.txt", "link plots victim.txt"}, "{dir}/song.wav /plot "
            "{dir}/plots" + kLevelToWav, 2, {}, {"song.wav", "victim.txt", "plots"}, {}, "", "/plot {dir}/plots is a link"},
    RunCase{"DestExtensionNotWritten", {"wav song.wav"}, "{dir}/song.wav /dest {dir}/x.oga" + kLevelToWav, 2, {},
            {"song.wav"}, {}, "", "/dest takes a folder or a name ending in .wav, .mp3, .flac, .ogg or .opus, not \"{dir}/x.oga\""},
#if VARNOOK_HAVE_GUI
    RunCase{"PicturesMirrorTheTree", {"dir lib", "dir lib/A", "dir lib/B", "wav lib/A/01.wav", "wav lib/B/01.wav"},
            "{dir}/lib /plot {dir}/plots /dest {dir}/out/ /ana1 /lev0 /tr1 /enc0", 0, {"Trimmed OK", "Trimmed OK"},
            {"lib/A/01.wav", "lib/B/01.wav"}, {"out/A/01.wav", "out/B/01.wav", "plots/A/01.wav.png", "plots/B/01.wav.png"}},
    RunCase{"LinkAtThePicture", {"wav song.wav", "text victim.txt", "dir plots", "link plots/song.wav.png ../victim.txt"},
            "{dir}/song.wav /plot {dir}/plots /ana1 /lev0 /tr1 /enc0", 0, {"Trimmed OK"}, {"song.wav", "victim.txt"},
            {"_song.wav", "plots/song.wav.png"}}
#endif
};
INSTANTIATE_TEST_SUITE_P(Places, WholeRun, testing::ValuesIn(kPlaceRows), RowName());

// One source of every format the table reads, made and titled by ffmpeg from the tone, then
// leveled and encoded: the title reaches the MP3 through the tag reader the table names. ffmpeg's
// own choices serve but for ".oga", where it would write Ogg FLAC (which libsndfile does not
// read), ".aifc", where it would write a plain AIFF, and AIFF's tag, an ID3 chunk only on request.
std::vector<RunCase> EveryFormat()
{
    std::vector<RunCase> rows;
    for (const Format& format : Formats()) {
        const std::string ext(format.Ext), source = "s" + ext, output = format.Kind == FormatKind::Mp3 ? "_s.mp3" : "s.mp3";
        const std::string options = std::string(ext == ".oga" ? " -c:a libvorbis" : ext == ".aifc" ? " -c:a pcm_f32be" : "") +
                                    (ext.starts_with(".aif") ? " -write_id3v2 1" : "") + " -metadata title=Tone";
        rows.push_back({"Every" + ext.substr(1), {"ffmpeg " + source + options},
                        "{dir}/" + source + " /ana1 /lev1 /tr0 /enc1", 0,
                        {format.Kind == FormatKind::Mp3 ? "Decoded OK" : format.Kind == FormatKind::Converted ? "Converted OK" : "wav file info",
                         "Recommended gain: ", "Encoded OK"}, {source}, {output}, "", "",
                        [output](const std::string& dir, const std::string&) {
                            EXPECT_EQ(ReadSourceTagSets(dir + "/" + output).V2.Title, "Tone");
                        }});
    }
    return rows;
}
INSTANTIATE_TEST_SUITE_P(EveryFormat, WholeRun, testing::ValuesIn(EveryFormat()), RowName());

// Sources of every kind, with the gain the analysis finds, worked out once: the tone's own
// where the samples are kept whole.
INSTANTIATE_TEST_SUITE_P(Formats, WholeRun, testing::Values(
    RunCase{"Mp3WithEveryStep", {"mp3 s.mp3"}, "{dir}/s.mp3 /ana1 /lev1 /tr1 /enc1 /nl -1,5", 0,
            {"Decoded OK", "wav file info: 2.50 sec", "Recommended gain: 0.38 dB", "Leveling with: -1.12 dB...",
             "Trimmed OK", "wav file info: 1.95 sec", "Encoded OK"}, {"s.mp3"}, {"_s.mp3"}},
    RunCase{"Flac24", {"sox s.flac -b 24"}, "{dir}/s.flac /ana1 /lev1 /tr0 /enc1", 0,
            {"Converted OK", "16 bits, 44100 samp/s, 2 chan", "Recommended gain: -0.07 dB", "Encoded OK"}, {"s.flac"}, {"s.mp3"}},
    // No filter is made for 96 kHz: a 16-bit WAV is resampled as a wider one or a FLAC is.
    RunCase{"Wav16At96k", {"sox s.wav -r 96000"}, "{dir}/s.wav /ana1 /lev1 /tr1 /enc0", 0,
            {"Converted OK", "16 bits, 48000 samp/s, 2 chan", "Recommended gain: 0.05 dB", "Trimmed OK"}, {"s.wav"}, {"_s.wav"}},
    RunCase{"Opus", {"ffmpeg s.opus -c:a libopus"}, "{dir}/s.opus /ana1 /lev1 /tr0 /enc0", 0,
            {"Converted OK", "16 bits, 48000 samp/s, 2 chan", "Recommended gain: -0.02 dB", "Leveled OK"}, {"s.opus"}, {"_s.wav"}},
    // A WAV output keeps a deep source's depth and rate; at 96 kHz the analysis and the trim
    // measure a 48 kHz copy. Two jobs make the same bytes as one.
    RunCase{"FloatWav", {"sox s.wav -e floating-point -b 32"}, "{dir}/s.wav /ana1 /lev1 /tr0 /enc0", 0,
            {"Converted OK", "24 bits, 44100 samp/s, 2 chan", "Recommended gain: -0.07 dB", "Leveled OK"}, {"s.wav"}, {"_s.wav"}},
    RunCase{"Flac24At96kInOneJobAndTwo", {"sox a.flac -b 24 -r 96000", "sox b.wav -b 32 -r 88200"},
            "{dir}/a.flac {dir}/b.wav /ana1 /lev1 /tr1 /enc0", 0, {"24 bits, 96000 samp/s, 2 chan", "Recommended gain: -0.07 dB",
            "Trimmed OK", "wav file info: 1.95 sec", "24 bits, 88200 samp/s, 2 chan", "Recommended gain: -0.07 dB", "Trimmed OK"}, {"a.flac", "b.wav"}, {"_a.wav", "_b.wav"}, "\"$@\" /jobs 1 && "
            "mkdir {tmp}/one && mv {dir}/_?.wav {tmp}/one && \"$@\" /jobs 2 && cmp {tmp}/one/_a.wav {dir}/_a.wav && cmp {tmp}/one/_b.wav {dir}/_b.wav"},
    RunCase{"SixChannels", {"sox six.flac -c 6"}, "{dir}/six.flac /ana1 /lev1 /enc1", 1,
            {"Not a valid file format! 6 channels; only mono and stereo can be processed"}, {"six.flac"}}),
    RowName());

// Full disks, closed doors, planted links and broken encoders: the run fails, or goes on
// without the step, and says so.
INSTANTIATE_TEST_SUITE_P(Faults, WholeRun, testing::Values(
    RunCase{"DecodeOntoFullDisk", {"disk 256k", "mp3 disk/song.mp3"}, "{dir}/disk/song.mp3 /ana0 /lev0 /tr0 /enc0", 1,
            {"Could not decode"}, {"disk/song.mp3"}},
    // lame checks its writes but not the flush when it closes the file: it ends well, and the
    // MP3 lacks its last page.
    RunCase{"EncodeLosesItsLastPage", {"disk 1m", "wav disk/song.wav", "room disk/song.wav"},
            "{dir}/disk/song.wav" + kJustEncode, 1, {"Encoding...", "Could not encode"}, {"disk/song.wav", "disk/fill"}},
    // A library encoder (each is held to this alone in its own test): the old output stays, and
    // its work file goes.
    RunCase{"FlacOntoFullDisk", {"disk 8k", "wav song.wav", "text disk/song.flac"}, "{dir}/song.wav /dest {dir}/disk/"
            " /ana0 /lev0 /tr0 /output flac", 1, {"61: Disk full", "Could not encode"}, {"song.wav", "disk/song.flac"}},
    // The encoder takes the whole source, not the cut-short amplified copy.
    RunCase{"DiskFullWhileLevelingGoesOnUnleveled", {"wav song.wav", "dir out"}, "{dir}/song.wav /dest {dir}/out/" + kLevelToMp3,
            1, {"61: Disk full", "Could not level", "Encoding...", "Encoded OK"}, {"song.wav"}, {"out/song.mp3"}, kHalfTheSongFits},
    // Every work file goes beside the output, lame's too.
    RunCase{"OutputFolderRefusesTheWorkFiles", {"wav song.wav", "dir out", "readonly out"},
            "{dir}/song.wav /dest {dir}/out/" + kLevelToMp3, 1, {"70: Permission denied", "Could not level", "Could not encode"},
            {"song.wav"}, {}, kNotRoot},
    // No loudness filter is made for this rate, so a trim fails before it cuts anything.
    RunCase{"FailedTrimDeliversNothing", {"sox odd.wav -r 12345", "wav _odd.wav"}, "{dir}/odd.wav /ana0 /lev0 /tr1 /enc0", 1,
            {"Could not trim"}, {"odd.wav", "_odd.wav"}},
    RunCase{"PlantedLinksAtWorkFiles", {"wav song.wav", "text victim.txt", "dir out", "link out/mp3.tmp ../victim.txt",
            "link out/VRK.tmp planted.wav"}, "{dir}/song.wav /dest {dir}/out/ /ana0 /lev1 /tr0 /enc1", 0, {"Encoded OK"},
            {"song.wav", "victim.txt"}, {"out/song.mp3"}},
    RunCase{"NoLame", {"wav song.wav", "env PATH={tmp}"}, "{dir}/song.wav" + kJustEncode, 1,
            {"Encoding...", "Processing interrupted. Error message:", "53: File not found", "Could not encode"}, {"song.wav"}},
    // lame's own reason follows the failure; its output name is not left behind.
    RunCase{"LameCannotDecode", {"text song.mp3"}, "{dir}/song.mp3 /ana0 /lev1 /tr0 /enc1", 1,
            {"Decoding...", "Could not decode", "Can't init infile"}, {"song.mp3"}},
    RunCase{"LameRefusesItsOptions", {"wav song.wav"}, "{dir}/song.wav" + kJustEncode + " /lame --bogus", 1,
            {"Encoding...", "Could not encode", "lame: unrecognized option --bogus"}, {"song.wav"}}),
    RowName());

#if !VARNOOK_HAVE_GUI
// The pictures are drawn by the windows' layer, which this build leaves out.
INSTANTIATE_TEST_SUITE_P(NoWindows, WholeRun, testing::Values(
    RunCase{"PlotIsAUsageError", {"wav song.wav"}, "{dir}/song.wav /plot {dir}/plots", 2, {}, {"song.wav"}, {}, "",
            "/plot needs a build with the windows"}), RowName());
#endif

// What a user or the desktop hands over in odd shapes.
INSTANTIATE_TEST_SUITE_P(Hostile, WholeRun, testing::Values(
    RunCase{"Help", {}, "/ana0 --help", 0, {"Usage: varnook ", "  /dest PATH"}},
    RunCase{"Version", {}, "--version", 0, {"varnook " VARNOOK_VERSION}},
    // A missing source leaves the windows, which need a display.
    RunCase{"MissingSourceWithoutDisplay", {}, "{dir}/none.wav /nl 3", 2, {}, {}, {}, "",
            "no such file or folder: {dir}/none.wav\nvarnook: window mode needs a display"},
    // A batch never reaches for the display, and Qt's start-up says nothing of it nor of the
    // runtime folder it lacks; without analysis the new level alone is the gain.
    RunCase{"StaleDisplayBatchWithAMissingSource", {"wav song.wav", "env DISPLAY=:97", "env WAYLAND_DISPLAY=gone-0",
            "env XDG_RUNTIME_DIR="}, "{dir}/gone.wav {dir}/song.wav" + kLevelToWav, 1,
            {"Could not find {dir}/gone.wav", "Leveling with: 3.00 dB...", "Leveled OK"}, {"song.wav"}, {"_song.wav"},
            "exec \"$@\" 2>{tmp}/err", "", [](const std::string&, const std::string& tmp) { EXPECT_EQ(ReadText(tmp + "/err"), ""); }},
    // Neither is opened: a FIFO would block the run.
    RunCase{"FifosAsSourceAndSettingsFile", {"wav song.wav", "fifo pipe.wav", "fifo fifo.ini", "env VARNOOK_INI={dir}/fifo.ini"},
            "{dir}/pipe.wav {dir}/song.wav" + kLevelToWav, 1, {"Not a valid file: not a regular file", "Leveled OK"},
            {"song.wav"}, {"_song.wav"}, "", "is not a regular file"},
    // Refused and left where they are: only a file or a link at a work file's name is removed.
    RunCase{"FifoAndDeviceAtWorkFileNames", {"wav song.wav", "fifo VRK.tmp", "node mp3.tmp"}, "{dir}/song.wav" + kLevelToMp3,
            1, {"75: Path/File access error"}, {"song.wav"}, {}, "", "",
            [](const std::string& dir, const std::string&) {
                EXPECT_TRUE(fs::is_fifo(dir + "/VRK.tmp") && fs::is_character_file(dir + "/mp3.tmp"));
            }},
    // The reader is gone before the program writes its first line.
    RunCase{"ClosedStandardOutput", {"wav song.wav", "wav b.wav"}, "{dir}/song.wav {dir}/b.wav" + kLevelToWav, 0, {},
            {"song.wav", "b.wav"}, {"_song.wav", "_b.wav"}, "{ sleep 0.3; exec \"$@\"; } | head -c 0; exit ${PIPESTATUS[0]}"},
    RunCase{"SourceNamedLikeAWorkFile", {"wav VRK.tmp"}, "{dir}/VRK.tmp" + kLevelToWav, 1,
            {"Not a valid file: named like a work file of Varnook"}, {"VRK.tmp"}},
    // On a terminal (script gives one) a name that would set its title shows as text, and the
    // share done is of the audio: 66% after two of three equal songs (by bytes, WAVs and an MP3: 95%).
    RunCase{"TerminalGetsNoControlsAndTheShareOfTheAudio", {"wav a\033]0;pwned\a.wav", "wav b.wav", "mp3 c.mp3"},
            "{dir}/a\033]0;pwned\a.wav {dir}/b.wav {dir}/c.mp3 /jobs 1" + kLevelToWav, 0, {},
            {"a\033]0;pwned\a.wav", "b.wav", "c.mp3"}, {"_a\033]0;pwned\a.wav", "_b.wav", "c.wav"},
            "SHELL=/bin/bash exec script -qefc \"$(printf '%q ' \"$@\")\" /dev/null </dev/null >{tmp}/tty", "", [](auto&, const std::string& tmp) {
                std::string tty = ReadText(tmp + "/tty");
                EXPECT_TRUE(tty.find("elapsed  a?]0;pwned?.wav") != tty.npos && tty.find("2/3 files  66%") != tty.npos) << tty;
                for (size_t at; (at = tty.find("\033[K")) != tty.npos;) tty.erase(at, 3);
                EXPECT_EQ(tty.find_first_of("\033\a"), tty.npos) << tty;
            }}),
    RowName());

// Sources that lie about their length, and a tag whose frames once cost time and memory as the
// square of their number (under a memory limit; the sanitizers reserve more address space than
// any limit leaves).
#if defined(__SANITIZE_ADDRESS__)
const std::string kBoundedMemory = "exec \"$@\"";
#else
const std::string kBoundedMemory = "ulimit -v 512000; exec \"$@\"";
#endif
INSTANTIATE_TEST_SUITE_P(Crafted, WholeRun, testing::Values(
    RunCase{"FlacCountingTooFewSamplesGivesAll", {"sox s.flac", "samples s.flac 1000"}, "{dir}/s.flac" + kJustEncode, 0,
            {"The header counts 1000 samples; the stream holds 110250", "Converted OK", "Encoded OK"}, {"s.flac"}, {"s.mp3"}},
    RunCase{"FlacCutAtAFrameFails", {"sox s.flac", "cut s.flac"}, "{dir}/s.flac" + kJustEncode, 1,
            {"The stream ends after 45056 of the 110250 samples its header counts", "Could not convert"}, {"s.flac"}},
    // 50,000 frames, a megabyte of tag.
    RunCase{"TagOfManyFramesInBoundedMemory", {"mp3 s.mp3", "frames s.mp3 50000"}, "{dir}/s.mp3 /ana0 /lev0 /tr0 /enc1", 0,
            {"Recoded OK"}, {"s.mp3"}, {"_s.mp3"}, kBoundedMemory}),
    RowName());

// Paths and tag texts that would break a command line reach lame intact: the stand-in records
// the words it was given, then runs the real lame.
TEST_F(BatchRun, OddPathsAndQuotedTagTextsReachLameIntact)
{
    const fs::path folder = dir.Path() / "My \"Best\" Tapes – Øre";
    fs::create_directories(folder);
    const std::string source = (folder / "01 It's a \"Song\" ßide.mp3").string();
    fs::rename(MakeMp3("song.mp3"), source);
    const std::string title = "He said \"stop\" \\ 'went'", artist = "-b 8 --tt x";
    // Version 1 only, so the texts reach lame from the tag that fills the gaps of version 2.
    ASSERT_EQ(RunCaptured("id3v2", {"--id3v1-only", "--song", title, "--artist", artist, source}).exitCode, 0);
    const StandInEncoder recorder(StandIn::RecordThenRealLame);
    const CapturedRun run = Run({source, "/ana1", "/lev1", "/tr1", "/enc1", "/lame", "-b", "160"},
                                {{"PATH", recorder.SearchPathWithStandInFirst()}});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(fs::is_regular_file(folder / "_01 It's a \"Song\" ßide.mp3"));

    // The decode saw the source whole; the encode got each tag text, each option word, the work
    // file and the temporary output as arguments of their own.
    const std::string tempOut = (folder / "mp3.tmp").string();
    EXPECT_EQ(recorder.RecordedRuns(),
              (std::vector<std::vector<std::string>>{
                  {"--decode", source, tempOut},
                  {"--add-id3v2", "--pad-id3v2", "--ignore-tag-errors", "--tt", title, "--ta", artist, "-b", "160",
                   (folder / "VRK.tmp").string(), tempOut}}));
}

#if VARNOOK_HAVE_GUI
TEST_F(BatchRun, WithADisplayTheWindowsOpenAndStoreWhatTheCommandLineTurnedOff)
{
    // The program runs until its window is closed; wait for the file its load writes, then end it.
    const std::string ini = config.File("varnook.ini");
    RunningProgram program = Start({"/enc0"}, {{"DISPLAY", ":varnook-test"}, {"QT_QPA_PLATFORM", "offscreen"}});
    for (int i = 0; i < 200 && !fs::exists(ini); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(program.Pid(), SIGTERM);
    const CapturedRun run = program.Finish();
    ASSERT_TRUE(fs::exists(ini)) << run.err;
    const auto stored = [&ini](const char* key) { return ReadIni(ini, "Values", key, "<missing>"); };
    EXPECT_EQ((Names{stored("6ID3"), stored("Encode"), stored("Analyze")}), (Names{"1", "0", "<missing>"}));
}
#endif

}  // namespace
}  // namespace varnook::test
