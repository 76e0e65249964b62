// Shared set-up of the end-to-end runs: a source folder, a private settings file, generated
// audio turned into WAV and MP3 sources by the real lame, and the log read line by line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;
using Env = std::map<std::string, std::string>;

inline const WavLayout kStereo{.channels = 2, .before = {}, .after = {}};

class BatchRun : public testing::Test {
protected:
    // Stereo: half a second of digital silence, a second and a half of tone, half a second of
    // silence, so the trim step has both ends to cut; whole 50 ms windows, and silence enough for
    // the loudness filter to settle before the tone.
    static std::vector<int16_t> Tone(double amplitude = 6000)
    {
        return Concat(Concat(Silence(44100), Sine(440, amplitude, 44100, 44100 * 3 / 2, 2)), Silence(44100));
    }
    static Bytes ToneWav(double amplitude = 6000) { return BuildWav(kStereo, Tone(amplitude)); }

    std::string MakeWav(const std::string& name, double amplitude = 6000)
    {
        WriteAllBytes(dir.File(name), ToneWav(amplitude));
        return dir.File(name);
    }

    // The tone as the real lame encodes it, untagged.
    std::string MakeMp3(const std::string& name)
    {
        WriteAllBytes(config.File("tone.wav"), ToneWav());
        EXPECT_EQ(RunCaptured("lame", {"--quiet", config.File("tone.wav"), dir.File(name)}).exitCode, 0);
        return dir.File(name);
    }

    Env WithSettings(Env env = {}) const
    {
        env.emplace("VARNOOK_INI", config.File("varnook.ini"));
        env.emplace("LC_ALL", "C.UTF-8");
        return env;
    }

    CapturedRun Run(const Names& args, const Env& env = {})
    {
        return RunCaptured(VARNOOK_EXE, args, WithSettings(env));
    }

    // Starts varnook without waiting for it; its output is kept until the test ends.
    RunningProgram Start(const Names& args, const Env& env = {})
    {
        return StartCaptured(captures_.emplace_back().Path().string(), VARNOOK_EXE, args, WithSettings(env));
    }

    // `text` with "{dir}" the source folder, "{lib}" its "lib", "{tmp}" the scratch folder and
    // "{rel}" the source folder relative to the working one.
    std::string Expand(std::string text) const
    {
        const std::string folder = dir.Path().string();
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{dir}", folder}, {"{lib}", folder + "/lib"},
                                         {"{tmp}", config.Path().string()},
                                         {"{rel}", dir.Path().lexically_relative(fs::current_path()).string()}})
            for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return text;
    }
    // The same split at blanks, as words of a command line.
    Names Words(const std::string& text) const
    {
        Names words;
        std::istringstream in(Expand(text));
        for (std::string word; in >> word;) words.push_back(word);
        return words;
    }

    // Every file below `folder` by relative path, for "unchanged" and "nothing else" checks.
    static std::map<std::string, Bytes> Contents(const fs::path& folder)
    {
        std::map<std::string, Bytes> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files[fs::relative(entry.path(), folder).string()] = ReadAllBytes(entry.path().string());
        return files;
    }

    // Finds a line starting with each of `expected` (expanded) in the log, in this order.
    void ExpectInOrder(const CapturedRun& run, const Names& expected) const
    {
        const Names lines = run.Lines();
        auto at = lines.begin();
        for (const std::string& opening : expected) {
            at = std::find_if(at, lines.end(), [&](const std::string& line) { return line.starts_with(Expand(opening)); });
            ASSERT_TRUE(at != lines.end()) << "missing [" << Expand(opening) << "...] in order; log:\n" << run.out;
        }
    }

    TempDir dir;
    TempDir config;

private:
    std::deque<TempDir> captures_;
};

// The log without its times: no "Processing time" lines, the summary's counts without seconds.
inline Names Untimed(const CapturedRun& run)
{
    Names lines;
    for (const std::string& line : run.Lines())
        if (!line.starts_with("Processing time ")) lines.push_back(line.substr(0, line.find("; ")));
    return lines;
}

// The rows of a JSON Lines report, in order.
inline std::vector<nlohmann::json> ReportLines(const std::string& path)
{
    std::vector<nlohmann::json> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) rows.push_back(nlohmann::json::parse(line));
    return rows;
}

// The same by the source's file name.
inline std::map<std::string, nlohmann::json> ReportBySource(const std::string& path)
{
    std::map<std::string, nlohmann::json> rows;
    for (const nlohmann::json& row : ReportLines(path))
        rows[fs::path(row["source"].get<std::string>()).filename().string()] = row;
    return rows;
}

// ffmpeg's integrated loudness of a file, in LUFS.
inline double FfmpegLoudness(const std::string& path)
{
    const CapturedRun run = RunCaptured("ffmpeg", {"-nostats", "-i", path, "-af", "ebur128=metadata=1,ametadata=print:file=-",
                                                   "-f", "null", "-"});
    double value = NAN;
    for (const std::string& line : run.Lines())
        if (line.starts_with("lavfi.r128.I=")) value = std::strtod(line.c_str() + 13, nullptr);
    return value;
}

}  // namespace varnook::test
