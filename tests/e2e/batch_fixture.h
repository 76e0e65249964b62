// Shared set-up of the end-to-end runs: a source folder, a private settings file, generated
// audio turned into WAV and MP3 sources by the real lame, and the log read line by line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/captured_run.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook::test {

using Bytes = std::vector<uint8_t>;
using Env = std::map<std::string, std::string>;

class BatchRun : public testing::Test {
protected:
    // Stereo: half a second of digital silence, a second and a half of tone, half a second of
    // silence, so the trim step has both ends to cut.
    static Bytes ToneWav(double amplitude = 6000)
    {
        WavLayout layout;
        layout.channels = 2;
        const auto edge = Silence(44100);
        return BuildWav(layout, Concat(Concat(edge, Sine(440, amplitude, 44100, 44100 * 3 / 2, 2)), edge));
    }

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

    CapturedRun Run(const std::vector<std::string>& args, const Env& env = {})
    {
        return RunCaptured(VARNOOK_EXE, args, WithSettings(env));
    }

    // Starts varnook without waiting for it; its output is kept until the test ends.
    RunningProgram Start(const std::vector<std::string>& args, const Env& env = {})
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
                                         {"{rel}", dir.Path().lexically_relative(std::filesystem::current_path()).string()}})
            for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return text;
    }

    // Every file below `folder` by relative path, for "unchanged" and "nothing else" checks.
    static std::map<std::string, Bytes> Contents(const std::filesystem::path& folder)
    {
        std::map<std::string, Bytes> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files[std::filesystem::relative(entry.path(), folder).string()] = ReadAllBytes(entry.path().string());
        return files;
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

// Finds a line starting with each of `expected` in the log, in this order.
inline void ExpectInOrder(const CapturedRun& run, const std::vector<std::string>& expected)
{
    const std::vector<std::string> lines = run.Lines();
    auto at = lines.begin();
    for (const std::string& opening : expected) {
        at = std::find_if(at, lines.end(), [&](const std::string& line) { return line.starts_with(opening); });
        ASSERT_TRUE(at != lines.end()) << "missing [" << opening << "...] in order; log:\n" << run.out;
    }
}

}  // namespace varnook::test
