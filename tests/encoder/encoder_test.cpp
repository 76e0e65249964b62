#include "encoder/encoder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "control/context.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/stand_in_encoder.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;
using test::StandIn;

constexpr int32_t kRate = 44100;

class EncodedTest : public testing::Test {
protected:
    EncodedTest() : ctx(host)
    {
        ctx.settings.KeepTag.fill(true);
        source = dir.File("tone.wav");
        test::WriteAllBytes(source, test::BuildWav({}, test::Sine(440, 8000, kRate, kRate / 2)));
        output = dir.File("tone.mp3");
    }

    bool ContainsText(const std::string& path, const std::string& text)
    {
        return test::ReadText(path).find(text) != std::string::npos;
    }

    test::RecordingHost host;
    Context ctx;
    test::TempDir dir;
    std::string source;
    std::string output;
};

TEST_F(EncodedTest, RealLameEncodesWithTagsAndDecodesBack)
{
    ctx.tagsV2.Title = "Morning Tone";
    ctx.tagsV1.Artist = "Test Band";
    ASSERT_TRUE(Encoded(ctx, "-h", source, output));
    EXPECT_FALSE(fs::exists(dir.File("mp3.tmp")));
    const std::string mp3 = test::ReadText(output);
    EXPECT_EQ(mp3.substr(0, 3), "ID3");
    EXPECT_TRUE(ContainsText(output, "Morning Tone"));
    EXPECT_TRUE(ContainsText(output, "Test Band"));

    // Decoding carries no tags and gives a WAV file.
    const std::string decoded = dir.File("back.wav");
    ASSERT_TRUE(Encoded(ctx, "--decode", output, decoded));
    EXPECT_EQ(test::ReadText(decoded).substr(0, 4), "RIFF");
    EXPECT_TRUE(host.lines.empty());
}

TEST_F(EncodedTest, RealLameRejectingItsOptionsFails)
{
    EXPECT_FALSE(Encoded(ctx, "--no-such-option-at-all", source, output));
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(dir.File("mp3.tmp")));
}

TEST_F(EncodedTest, AnExistingOutputIsReplacedOnlyOnSuccess)
{
    test::WriteText(output, "old output");
    {
        test::StandInEncoder standIn(StandIn::FailAfterPartialOutput);
        test::ScopedEnv path("PATH", standIn.SearchPathWithStandInFirst());
        EXPECT_FALSE(Encoded(ctx, "-h", source, output));
    }
    EXPECT_EQ(test::ReadText(output), "old output");
    EXPECT_FALSE(fs::exists(dir.File("mp3.tmp")));

    ASSERT_TRUE(Encoded(ctx, "-h", source, output));
    EXPECT_NE(test::ReadText(output), "old output");
}

TEST_F(EncodedTest, MissingLameIsReportedAsFileNotFound)
{
    test::TempDir emptyFolder;
    test::ScopedEnv path("PATH", emptyFolder.Path().string());
    test::WriteText(dir.File("mp3.tmp"), "left from an earlier crash");
    EXPECT_FALSE(Encoded(ctx, "-h", source, output));
    EXPECT_EQ(host.lines, (std::vector<std::string>{"Processing interrupted. Error message:", "53: File not found"}));
    EXPECT_FALSE(fs::exists(dir.File("mp3.tmp")));
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(EncodedTest, LameBesideTheProgramIsPreferred)
{
    test::StandInEncoder beside(StandIn::SucceedWithoutOutput);
    ctx.programPath = beside.Folder() + "/varnook";
    // The real lame on PATH would succeed; the one beside varnook writes nothing.
    EXPECT_FALSE(Encoded(ctx, "-h", source, output));
}

}  // namespace
}  // namespace varnook
