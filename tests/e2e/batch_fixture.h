// Shared set-up of the end-to-end runs: a source folder, a private settings file, generated
// audio turned into WAV and tagged MP3 sources, and the log compared line by line.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {

using Bytes = std::vector<uint8_t>;
using Env = std::map<std::string, std::string>;

// A tag field of MP3 sources: the tagger's option, the frame it reads back as, the text.
struct Tag {
    std::string option;
    std::string frame;
    std::string text;
};

// The version 2 reader blanks double quotes and takes text bytes one by one, so these stay
// plain ASCII; quotes reach lame through version 1 tags instead.
inline const std::vector<Tag> kSourceTags{
    {"--song", "TIT2", "Morning Tone"}, {"--artist", "TPE1", "Test Band"},
    {"--album", "TALB", "Even Loudness"}, {"--year", "TYER", "2024"}, {"--track", "TRCK", "3"},
    {"--genre", "TCON", "Rock"}, {"--comment", "COMM", "kept as is"}};

class BatchRun : public testing::Test {
protected:
    // Stereo: half a second of digital silence, a second and a half of tone, half a second of
    // silence, so the trim step has both ends to cut.
    static Bytes ToneWav(double amplitude = 6000)
    {
        WavLayout layout;
        layout.channels = 2;
        const auto edge = Silence(44100);
        auto samples = Concat(Concat(edge, Sine(440, amplitude, 44100, 44100 * 3 / 2, 2)), edge);
        return BuildWav(layout, samples);
    }

    std::string MakeWav(const std::string& name, double amplitude = 6000)
    {
        WriteAllBytes(dir.File(name), ToneWav(amplitude));
        return dir.File(name);
    }

    // An MP3 made by the real lame from the tone, tagged by a third-party tagger in version 2,
    // or in version 1 only.
    std::string MakeMp3(const std::string& name, const std::vector<Tag>& tags = kSourceTags,
                        bool v1 = false)
    {
        TempDir scratch;
        WriteAllBytes(scratch.File("tone.wav"), ToneWav());
        const std::string path = dir.File(name);
        EXPECT_EQ(RunCaptured("lame", {"--quiet", scratch.File("tone.wav"), path}).exitCode, 0);
        std::vector<std::string> args{v1 ? "--id3v1-only" : "--quiet"};
        for (const Tag& tag : tags) args.insert(args.end(), {tag.option, tag.text});
        args.push_back(path);
        const CapturedRun tagged = RunCaptured(v1 ? "id3v2" : "mid3v2", args);
        EXPECT_EQ(tagged.exitCode, 0) << tagged.err;
        return path;
    }

    Env WithSettings(Env env = {}) const
    {
        env.emplace("VARNOOK_INI", config.File("varnook.ini"));
        env.emplace("LC_ALL", "C.UTF-8");
        return env;
    }

    CapturedRun Run(const std::vector<std::string>& args, const Env& env = {})
    {
        return RunCaptured(VARNOOK_EXE, args, WithSettings(env));
    }

    // Starts varnook without waiting for it; its output is kept until the test ends.
    RunningProgram Start(const std::vector<std::string>& args, const Env& env = {})
    {
        const std::string capture = captures_.emplace_back().Path().string();
        return StartCaptured(capture, VARNOOK_EXE, args, WithSettings(env));
    }

    // Every file of the folder by name, for "unchanged" and "whole" checks.
    static std::map<std::string, Bytes> Contents(const std::filesystem::path& folder)
    {
        std::map<std::string, Bytes> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files[entry.path().filename().string()] = ReadAllBytes(entry.path().string());
        return files;
    }

    // The names in the source folder, for "nothing else was written" checks.
    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            names.insert(entry.path().filename().string());
        return names;
    }

    TempDir dir;
    TempDir config;

private:
    std::deque<TempDir> captures_;
};

inline bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Finds each of `expected` in the log, in this order.
inline void ExpectInOrder(const CapturedRun& run, const std::vector<std::string>& expected)
{
    const std::vector<std::string> lines = run.Lines();
    auto at = lines.begin();
    for (const std::string& line : expected) {
        at = std::find(at, lines.end(), line);
        ASSERT_NE(at, lines.end()) << "missing [" << line << "] in order; log:\n" << run.out;
    }
}

// The line with every number of two decimals written "<n>". (Written by hand: std::regex trips
// a false maybe-uninitialized warning of g++ 12 in the sanitizer build.)
inline std::string MaskNumbers(const std::string& line)
{
    const auto digit = [&line](size_t i) {
        return i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]));
    };
    std::string out;
    for (size_t i = 0; i < line.size();) {
        size_t j = line[i] == '-' ? i + 1 : i;
        const size_t intStart = j;
        while (digit(j)) ++j;
        if (j > intStart && j < line.size() && line[j] == '.' && digit(j + 1) && digit(j + 2)) {
            out += "<n>";
            i = j + 3;
        } else {
            out += line[i++];
        }
    }
    return out;
}

// Compares the log with the expected lines, where "<n>" stands for any number with two
// decimals, after dropping the steps' own success line "New EOF set".
inline void ExpectLog(const CapturedRun& run, const std::vector<std::string>& expected)
{
    std::vector<std::string> kept;
    for (const std::string& line : run.Lines())
        if (line != "New EOF set") kept.push_back(MaskNumbers(line));
    EXPECT_EQ(kept, expected) << run.out;
}

// Expected lines whose numbers vary.
inline const std::string kTimeLine = "Processing time <n> seconds";
inline const std::string kInfoLine = "wav file info: <n> sec";
inline const std::string kFormatLine = "16 bits, 44100 samp/s, 2 chan";

}  // namespace varnook::test
