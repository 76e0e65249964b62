#include "provenance/provenance.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/run_settings.h"
#include "support/param_name.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

struct ChangeCase {
    const char* name;
    std::function<void(RunSettings&)> change;
};

class SettingsHashChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(SettingsHashChange, MakesTheOutputDue)
{
    RunSettings settings;
    const std::string before = SettingsHash(settings);
    GetParam().change(settings);
    EXPECT_NE(SettingsHash(settings), before);
}

INSTANTIATE_TEST_SUITE_P(Settings, SettingsHashChange, testing::Values(
    ChangeCase{"Trim", [](RunSettings& s) { s.Trim = true; }},
    ChangeCase{"KeepTag", [](RunSettings& s) { s.KeepTag[6] = true; }},
    ChangeCase{"LeadOut", [](RunSettings& s) { s.Lead[kLeadOut] = 0.1; }},
    ChangeCase{"CutOut", [](RunSettings& s) { s.TrimLevel[kCutOut] = 1; }},
    ChangeCase{"Arguments", [](RunSettings& s) { s.Arguments = "-b 192"; }},
    ChangeCase{"RmsDiff", [](RunSettings& s) { s.RmsDiff = 1; }}),
    test::RowName());

// Odd sizes on both sides: the chunk must land on an even offset and keep its own pad.
TEST(ProvenanceChunk, ReadsBackAfterTheTrailerAndKeepsTheRiffSizeWhole)
{
    test::TempDir dir;
    const std::string wav = dir.File("a.wav");
    test::WavLayout layout;
    layout.after = {{"LIST", {1, 2, 3}}};
    // The builder leaves out the trailer's pad byte, as some writers do.
    test::WriteAllBytes(wav, test::BuildWav(layout, test::Sine(440, 8000, 44100, 101)));

    AppendProvenanceChunk(wav, "varnook 1 x");
    const std::vector<uint8_t> after = test::ReadAllBytes(wav);
    EXPECT_EQ(after.size() % 2, 0u);
    EXPECT_EQ(after[4] | after[5] << 8 | after[6] << 16 | after[7] << 24, static_cast<int>(after.size() - 8));
    EXPECT_EQ(ReadProvenance(wav), "varnook 1 x");
    EXPECT_EQ(ReadProvenance(dir.File("missing.wav")), std::nullopt);
}

}  // namespace
}  // namespace varnook
