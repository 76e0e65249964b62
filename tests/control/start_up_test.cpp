#include "control/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/context.h"
#include "support/recording_host.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

TEST(StartUp, CommandLineOverridesStoredValuesAndNothingIsWritten)
{
    test::TempDir dir;
    const std::string ini = dir.File("varnook.ini");
    const std::string stored = "[Values]\nNewLevel=3\nTrim=0\nArguments=-V 2\n";
    test::WriteText(ini, stored);
    test::ScopedEnv env{"VARNOOK_INI", ini};

    test::RecordingHost host;
    Context ctx(host);
    ctx.programPath = dir.File("varnook");
    ctx.request.TempPath = "left over";
    ctx.request.DestPath = "left over";
    const ParsedCommandLine parsed = StartUp(ctx, {dir.Path().string(), "/nl", "5"});

    EXPECT_EQ(ctx.settings.SettingsPath, ini);
    EXPECT_EQ(ctx.settings.NewLevel, 5);
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_EQ(ctx.settings.Arguments, "-V 2");
    EXPECT_EQ(ctx.request.SourcePath, dir.Path().string());
    EXPECT_TRUE(ctx.request.TempPath.empty());
    EXPECT_TRUE(ctx.request.DestPath.empty());
    EXPECT_TRUE(parsed.MissingSources.empty());
    EXPECT_EQ(host.captions, std::vector<std::string>{"Varnook Progress"});
    EXPECT_EQ(test::ReadText(ini), stored);
}

TEST(StartUp, CommaLocaleSeparatorReachesTheParser)
{
    test::ScopedLocale locale(test::kCommaLocale);
    if (!locale.Active()) GTEST_SKIP() << test::kCommaLocale << " is not installed";
    test::TempDir dir;
    test::ScopedEnv env{"VARNOOK_INI", dir.File("none.ini")};
    test::RecordingHost host;
    Context ctx(host);
    StartUp(ctx, {"/nl", "-1.5", "/li0,5"});
    EXPECT_EQ(ctx.decimalSeparator, ',');
    EXPECT_EQ(ctx.settings.NewLevel, -1.5);
    EXPECT_EQ(ctx.settings.Lead[kLeadIn], 0.5);
}

TEST(UsageText, DocumentsEveryKeyAndTheSettingsFile)
{
    const std::string usage = UsageText();
    for (const char* key : {"/dest", "/ana", "/lev", "/tr", "/enc", "/nl", "/li", "/lo", "/ci", "/co", "/fi",
                            "/fo", "/lame", "/pr", "/rp", "/rd"}) {
        EXPECT_NE(usage.find(std::string("  ") + key + " "), std::string::npos) << key;
    }
    EXPECT_NE(usage.find("VARNOOK_INI"), std::string::npos);
    EXPECT_NE(usage.find("Exit status"), std::string::npos);
}

TEST(ProgramFilePath, IsTheRunningExecutable)
{
    const std::string path = ProgramFilePath("ignored");
    EXPECT_TRUE(std::filesystem::path(path).is_absolute());
    EXPECT_EQ(std::filesystem::path(path).filename(), "varnook_tests");
}

}  // namespace
}  // namespace varnook
