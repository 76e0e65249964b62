#include "provenance/provenance.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/run_settings.h"
#include "io/byte_order.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

// Each setting that changes the output makes the output due again.
TEST(SettingsHash, ChangesWithEverySettingThatShapesTheOutput)
{
    const std::function<void(RunSettings&)> changes[] = {
        [](RunSettings& s) { s.Trim = true; },          [](RunSettings& s) { s.KeepTag[6] = true; },
        [](RunSettings& s) { s.Lead[kLeadOut] = 0.1; }, [](RunSettings& s) { s.TrimLevel[kCutOut] = 1; },
        [](RunSettings& s) { s.Arguments = "-b 192"; }, [](RunSettings& s) { s.RmsDiff = 1; }};
    for (size_t i = 0; i < std::size(changes); ++i) {
        RunSettings settings;
        const std::string before = SettingsHash(settings);
        changes[i](settings);
        EXPECT_NE(SettingsHash(settings), before) << "change " << i;
    }
}

// Odd sizes on both sides: the chunk must land on an even offset and keep its own pad. The
// builder leaves out the trailer's pad byte, as some writers do.
TEST(ProvenanceChunk, ReadsBackAfterTheTrailerAndKeepsTheRiffSizeWhole)
{
    test::TempDir dir;
    const std::string wav = dir.File("a.wav");
    test::WavLayout layout;
    layout.after = {{"LIST", {1, 2, 3}}};
    test::WriteAllBytes(wav, test::BuildWav(layout, test::Sine(440, 8000, 44100, 101)));
    AppendProvenanceChunk(wav, "varnook 1 x");
    const std::vector<uint8_t> after = test::ReadAllBytes(wav);
    EXPECT_EQ(after.size() % 2, 0u);
    EXPECT_EQ(LoadLE32(after.data() + 4), static_cast<int32_t>(after.size() - 8));
    EXPECT_EQ(ReadProvenance(wav), "varnook 1 x");
    EXPECT_EQ(ReadProvenance(dir.File("missing.wav")), std::nullopt);
}

}  // namespace
}  // namespace varnook
