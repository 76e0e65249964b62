#include "provenance/provenance.h"

#include <gtest/gtest.h>

#include "io/byte_order.h"
#include "settings/key_table.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {
using namespace std::string_literals;

// Walks the key table, so a key added later is covered: a value that shapes the output makes
// it due again (loudness mode, target, ceiling, album mode and tag carry-over among them), and
// one that never does (a path, the jobs, /skip) leaves it up to date.
TEST(SettingsHash, ChangesWithEveryKeyThatShapesTheOutputAndNoOther)
{
    for (const KeyRow& row : KeyTable()) {
        RunSettings settings;
        RunRequest request;
        const std::string before = SettingsHash(settings), value = FieldText(row, '.', settings, request);
        for (const char* other : {"1", "0", "0.5", "8", "r128", "limit", "tag", "flac"})
            if (SetValue(row, other, '.', Notation::Either, settings, request) == ValueFit::Taken &&
                FieldText(row, '.', settings, request) != value)
                break;
        ASSERT_NE(FieldText(row, '.', settings, request), value) << row.CommandKey << row.SettingsKey;
        EXPECT_EQ(SettingsHash(settings) != before, row.ShapesOutput) << row.CommandKey << row.SettingsKey;
    }
}

// A copied output taken as a source brings its record, before a trailer chunk of odd size that
// lacks its pad byte (as some writers leave it): marking drops it and puts the new one on an
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
        const std::string bytes(after.begin(), after.end());
        // The trailer's own length, or ours padded, and a RIFF size to match.
        EXPECT_EQ(std::tuple(after.size() % 2, LoadLE32(after.data() + 4)),
                  std::tuple(text.empty() ? 1u : 0u, static_cast<int32_t>(after.size() - 8)));
        EXPECT_TRUE(bytes.find("old!") == bytes.npos && bytes.find("LIST\3\0\0\0\1\2\3"s) != bytes.npos);
        EXPECT_EQ(ReadProvenance(wav), text.empty() ? std::nullopt : std::optional(text));
    }
}

}  // namespace
}  // namespace varnook
