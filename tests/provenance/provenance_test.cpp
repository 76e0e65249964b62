#include "provenance/provenance.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/run_request.h"
#include "base/run_settings.h"
#include "io/byte_order.h"
#include "settings/key_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

// Walks the key table, so a key added later is covered: a value that shapes the output makes
// it due again (loudness mode, target, ceiling and tag carry-over among them), and a value that
// never does (a path, the jobs, /skip) leaves it up to date.
TEST(SettingsHash, ChangesWithEveryKeyThatShapesTheOutputAndNoOther)
{
    for (const KeyRow& row : KeyTable()) {
        const std::string name(row.SettingsKey.empty() ? row.CommandKey : row.SettingsKey);
        RunSettings settings;
        RunRequest request;
        const std::string before = SettingsHash(settings);
        const std::string value = FieldText(row, '.', settings, request);
        for (const char* other : {"1", "0", "0.5", "r128"})
            if (SetValue(row, other, '.', Notation::Either, settings, request) == ValueFit::Taken &&
                FieldText(row, '.', settings, request) != value)
                break;
        ASSERT_NE(FieldText(row, '.', settings, request), value) << name << ": no other value";
        EXPECT_EQ(SettingsHash(settings) != before, row.ShapesOutput) << name;
    }
}

// A copied output taken as a source brings its own chunk, before a trailer chunk of odd size
// without its pad byte (as some writers leave it): marking drops it and puts the new one on an
// even offset, or none, and the RIFF size follows.
TEST(ProvenanceChunk, ReplacesTheSourcesRecordAndKeepsTheRiffSizeWhole)
{
    test::TempDir dir;
    const std::string wav = dir.File("a.wav");
    for (const std::string text : {"varnook 1 new", ""}) {
        test::WavLayout layout;
        layout.after = {{"vrkp", {'o', 'l', 'd', '!'}}, {"LIST", {1, 2, 3}}};
        test::WriteAllBytes(wav, test::BuildWav(layout, test::Sine(440, 8000, 44100, 101)));
        MarkWavProvenance(wav, text);
        const std::vector<uint8_t> after = test::ReadAllBytes(wav);
        EXPECT_EQ(after.size() % 2, text.empty() ? 1u : 0u);  // the trailer's own length, or ours padded
        EXPECT_EQ(LoadLE32(after.data() + 4), static_cast<int32_t>(after.size() - 8));
        const std::string bytes(after.begin(), after.end());
        EXPECT_NE(bytes.find(std::string("LIST\3\0\0\0\1\2\3", 11)), std::string::npos) << "trailer lost";
        EXPECT_EQ(bytes.find("old!"), std::string::npos);
        EXPECT_EQ(ReadProvenance(wav), text.empty() ? std::nullopt : std::optional(text));
    }
    EXPECT_EQ(ReadProvenance(dir.File("missing.wav")), std::nullopt);
}

}  // namespace
}  // namespace varnook
