#include "io/work_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "io/errors.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

// Whatever was at the name, the work file is a new regular file of its own, and a file a link
// pointed to is neither rewritten nor made.
TEST(CreateWorkFile, ReplacesWhatIsAtTheNameWithoutFollowingIt)
{
    for (const char* planted : {"nothing", "file", "link", "dangling link"}) {
        SCOPED_TRACE(planted);
        test::TempDir dir;
        const std::string work = dir.File("VRK.tmp");
        test::WriteText(dir.File("victim"), "keep");
        const std::string kind = planted;
        if (kind == "file") test::WriteText(work, "old");
        if (kind == "link") fs::create_symlink("victim", work);
        if (kind == "dangling link") fs::create_symlink("made", work);

        File file = CreateWorkFile(work);
        const uint8_t byte = 1;
        file.WriteAt(0, {&byte, 1});
        file.Close();
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(work)));
        EXPECT_EQ(fs::file_size(work), 1u);
        EXPECT_EQ(test::ReadText(dir.File("victim")), "keep");
        EXPECT_FALSE(fs::exists(dir.File("made")));
    }
}

TEST(CreateWorkFile, LeavesAFolderAtTheNameAlone)
{
    test::TempDir dir;
    fs::create_directory(dir.File("VRK.tmp"));
    test::WriteText(dir.File("VRK.tmp/inside"), "keep");
    EXPECT_THROW(CreateWorkFile(dir.File("VRK.tmp")), FileError);
    EXPECT_EQ(test::ReadText(dir.File("VRK.tmp/inside")), "keep");
}

}  // namespace
}  // namespace varnook
