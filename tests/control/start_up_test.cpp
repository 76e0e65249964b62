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
    const std::string stored = "[Values]\nNewLevel=3\nTrim=0\n";
    test::WriteText(ini, stored);
    test::ScopedEnv env{"VARNOOK_INI", ini};
    test::RecordingHost host;
    Context ctx(host);
    ctx.request.TempPath = ctx.request.DestPath = "left over";

    const ParsedCommandLine parsed = StartUp(ctx, {dir.Path().string(), "/nl", "5"});
    EXPECT_EQ(ctx.settings.SettingsPath, ini);
    EXPECT_EQ(ctx.settings.NewLevel, 5);
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_EQ(ctx.request.SourcePath, dir.Path().string());
    EXPECT_TRUE(ctx.request.TempPath.empty() && ctx.request.DestPath.empty());
    EXPECT_TRUE(parsed.MissingSources.empty());
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

TEST(StartUp, UsageDocumentsEveryKeyAndProgramPathIsAbsolute)
{
    const std::string usage = UsageText();
    for (const char* key : {"/dest", "/ana", "/lev", "/tr", "/enc", "/nl", "/li", "/lo", "/ci", "/co", "/fi",
                            "/fo", "/lame", "/pr", "/rp", "/rd"})
        EXPECT_NE(usage.find(std::string("  ") + key + " "), std::string::npos) << key;
    EXPECT_NE(usage.find("VARNOOK_INI"), std::string::npos);
    EXPECT_EQ(std::filesystem::path(ProgramFilePath("ignored")).filename(), "varnook_tests");
}

}  // namespace
}  // namespace varnook
