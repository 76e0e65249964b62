// Shared set-up of the end-to-end runs: a source folder, a private settings file, generated
// audio turned into WAV and tagged MP3 sources, and the log compared line by line.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {

inline constexpr int32_t kE2eRate = 44100;

// Tags written into MP3 sources. The version 2 reader blanks double quotes and takes text bytes
// one by one, so these stay plain ASCII; quotes reach lame through version 1 tags instead.
struct SourceTags {
    std::string title = "Morning Tone";
    std::string artist = "Test Band";
    std::string album = "Even Loudness";
    std::string year = "2024";
    std::string track = "3";
    std::string genre = "Rock";
    std::string comment = "kept as is";
};

enum class TagVersion { V2, V1 };

class BatchRun : public testing::Test {
protected:
    // Stereo: half a second of digital silence, a second and a half of tone, half a second of
    // silence, so the trim step has both ends to cut.
    static std::vector<uint8_t> ToneWav(double amplitude = 6000)
    {
        WavLayout layout;
        layout.channels = 2;
        const size_t edge = kE2eRate / 2;
        auto samples = Concat(Silence(edge * 2), Sine(440, amplitude, kE2eRate, kE2eRate * 3 / 2, 2));
        samples = Concat(std::move(samples), Silence(edge * 2));
        return BuildWav(layout, samples);
    }

    std::string MakeWav(const std::string& name, double amplitude = 6000)
    {
        const std::string path = dir.File(name);
        WriteAllBytes(path, ToneWav(amplitude));
        return path;
    }

    // An MP3 made by the real lame from the tone, tagged by a third-party tagger.
    std::string MakeMp3(const std::string& name, const SourceTags& tags = {}, TagVersion version = TagVersion::V2)
    {
        TempDir scratch;
        WriteAllBytes(scratch.File("tone.wav"), ToneWav());
        const std::string path = (dir.Path() / name).string();
        EXPECT_EQ(RunCaptured("lame", {"--quiet", "-b", "128", scratch.File("tone.wav"), path}).exitCode, 0);
        const CapturedRun tagged =
            version == TagVersion::V2
                ? RunCaptured("mid3v2", {"--song", tags.title, "--artist", tags.artist, "--album", tags.album,
                                         "--year", tags.year, "--track", tags.track, "--genre", tags.genre,
                                         "--comment", tags.comment, path})
                : RunCaptured("id3v2", {"--id3v1-only", "--song", tags.title, "--artist", tags.artist, path});
        EXPECT_EQ(tagged.exitCode, 0) << tagged.err;
        return path;
    }

    CapturedRun Run(const std::vector<std::string>& args, std::map<std::string, std::string> env = {})
    {
        env.emplace("VARNOOK_INI", config.File("varnook.ini"));
        env.emplace("LC_ALL", "C.UTF-8");
        return RunCaptured(VARNOOK_EXE, args, env);
    }

    // The names in the source folder, for "nothing else was written" checks.
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            names.insert(entry.path().filename().string());
        return names;
    }

    bool Exists(const std::string& name) const { return std::filesystem::exists(dir.Path() / name); }

    TempDir dir;
    TempDir config;
};

// Lines the steps themselves write on success, which the pipeline's sequence leaves open.
inline const std::set<std::string> kStepLines{"New EOF set"};

// The placeholder in an expected line for a number with two decimals, such as -1.50.
inline constexpr std::string_view kNumber = "<n>";

// True when `line` is `pattern` with every kNumber replaced by a number with two decimals.
inline bool MatchesLine(std::string_view line, std::string_view pattern)
{
    const size_t hole = pattern.find(kNumber);
    if (hole == std::string_view::npos) return line == pattern;
    if (line.substr(0, hole) != pattern.substr(0, hole)) return false;
    size_t i = hole;
    if (i < line.size() && line[i] == '-') ++i;
    const size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
    if (i == digits || i + 3 > line.size() || line[i] != '.' || !std::isdigit(static_cast<unsigned char>(line[i + 1])) ||
        !std::isdigit(static_cast<unsigned char>(line[i + 2])))
        return false;
    return MatchesLine(line.substr(i + 3), pattern.substr(hole + kNumber.size()));
}

// Compares the log with the expected lines, one by one, after dropping the steps' own
// success lines.
inline void ExpectLog(const std::vector<std::string>& lines, const std::vector<std::string>& patterns)
{
    std::vector<std::string> kept;
    for (const std::string& line : lines)
        if (kStepLines.count(line) == 0) kept.push_back(line);
    std::string all;
    for (const std::string& line : lines) all += "  [" + line + "]\n";
    ASSERT_EQ(kept.size(), patterns.size()) << "log:\n" << all;
    for (size_t i = 0; i < patterns.size(); ++i)
        EXPECT_TRUE(MatchesLine(kept[i], patterns[i]))
            << "line " << i << " [" << kept[i] << "] does not match " << patterns[i] << "\nlog:\n" << all;
}

// Expected lines whose numbers vary.
inline const std::string kTimeLine = "Processing time <n> seconds";
inline const std::string kInfoLine = "wav file info: <n> sec";
inline const std::string kGainLine = "Recommended gain: <n> dB";
inline const std::string kLevelLine = "Leveling with: <n> dB...";
inline const std::string kFormatLine = "16 bits, 44100 samp/s, 2 chan";

}  // namespace varnook::test
