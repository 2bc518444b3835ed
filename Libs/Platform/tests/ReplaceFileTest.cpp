// Replacing a file that others read: whole, and never through a planted link.
#include "Platform/ReplaceFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace
{

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ReplaceFile, WritesWholeLeavesNothingBesideAndNeverFollowsAPlantedLink)
{
    const fs::path folder = fs::temp_directory_path() / ("replace-file-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path victim = folder / "victim";
    std::ofstream(victim) << "keep me";
    const fs::path target = folder / "status.json";
    // The names a writer with a predictable temporary name would use.
    fs::create_symlink(victim, target.string() + "." + std::to_string(::getpid()) + ".tmp");
    fs::create_symlink(victim, target.string() + ".tmp");

    ASSERT_EQ(Platform::replaceFile(target.string(), "{\"first\": 1}"), 0);
    ASSERT_EQ(Platform::replaceFile(target.string(), "{\"second\": 2}"), 0);
    EXPECT_EQ(contentOf(target), "{\"second\": 2}");
    EXPECT_EQ(contentOf(victim), "keep me");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);

    // A folder that is not there: the error, and nothing written anywhere.
    EXPECT_EQ(Platform::replaceFile((folder / "missing" / "x.json").string(), "x"), ENOENT);
    fs::remove_all(folder);
}

} // namespace
