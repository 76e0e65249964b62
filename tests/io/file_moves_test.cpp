#include "io/file_moves.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "io/errors.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

// A folder on another file system than the test temp folder, when the machine has one.
class ForeignFolder {
public:
    ForeignFolder()
    {
        std::string pattern = "/dev/shm/varnook-move-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ForeignFolder()
    {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    ForeignFolder(const ForeignFolder&) = delete;
    ForeignFolder& operator=(const ForeignFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool SameDevice(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

TEST(ReplaceByRename, ReplacesTheTargetAndRemovesTheSource)
{
    test::TempDir dir;
    test::WriteText(dir.File("new"), "new bytes");
    test::WriteText(dir.File("old"), "old bytes");
    ReplaceByRename(dir.File("new"), dir.File("old"));
    EXPECT_EQ(test::ReadText(dir.File("old")), "new bytes");
    EXPECT_FALSE(fs::exists(dir.File("new")));
}

TEST(ReplaceByRename, WorksAcrossFileSystemsWithoutLeavingTemporaryFiles)
{
    ForeignFolder foreign;
    test::TempDir dir;
    if (foreign.Path().empty() || SameDevice(foreign.Path(), dir.Path().string()))
        GTEST_SKIP() << "no second file system to move across";
    const std::string from = foreign.Path() + "/work.wav";
    test::WriteText(from, "moved across");
    test::WriteText(dir.File("out.wav"), "old");
    ReplaceByRename(from, dir.File("out.wav"));
    EXPECT_EQ(test::ReadText(dir.File("out.wav")), "moved across");
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(ReplaceByRename, AFailedMoveLeavesTheTargetAlone)
{
    test::TempDir dir;
    test::WriteText(dir.File("old"), "old bytes");
    try {
        ReplaceByRename(dir.File("missing"), dir.File("old"));
        FAIL() << "moving a missing file succeeded";
    } catch (const FileError& e) {
        EXPECT_EQ(e.Number(), file_errors::kFileNotFound);
    }
    EXPECT_EQ(test::ReadText(dir.File("old")), "old bytes");
}

}  // namespace
}  // namespace varnook
