#include "io/file_moves.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "io/errors.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

// Moves a file over an older one, first within the temp folder and then, when the machine has
// one, from another file system: the target holds the new bytes, the source is gone and no
// temporary file is left beside the target. A failed move leaves the target alone.
TEST(ReplaceByRename, ReplacesTheTargetOnOneFileSystemAndAcrossTwo)
{
    test::TempDir dir;
    std::string foreign = "/dev/shm/varnook-move-XXXXXX";
    const bool haveForeign = ::mkdtemp(foreign.data()) != nullptr;
    struct stat here {};
    struct stat there {};
    const bool across = haveForeign && ::stat(dir.Path().c_str(), &here) == 0 &&
                        ::stat(foreign.c_str(), &there) == 0 && here.st_dev != there.st_dev;
    for (const std::string& from : {dir.File("new.wav"), foreign + "/new.wav"}) {
        if (from != dir.File("new.wav") && !across) break;
        SCOPED_TRACE(from);
        test::WriteText(from, "new bytes");
        test::WriteText(dir.File("out.wav"), "old bytes");
        ReplaceByRename(from, dir.File("out.wav"));
        EXPECT_EQ(test::ReadText(dir.File("out.wav")), "new bytes");
        EXPECT_FALSE(fs::exists(from));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
    }
    std::error_code ignored;
    if (haveForeign) fs::remove_all(foreign, ignored);

    try {
        ReplaceByRename(dir.File("missing"), dir.File("out.wav"));
        ADD_FAILURE() << "moving a missing file succeeded";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), file_errors::kFileNotFound);
    }
    EXPECT_EQ(test::ReadText(dir.File("out.wav")), "new bytes");
}

}  // namespace
}  // namespace varnook
