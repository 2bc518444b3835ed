// The README's "Running the logger for real" block, run as it stands there, so that it stays true: in a
// network namespace of its own, from a directory that looks like the checkout, with a home of its own.
#include "support/LoggerRun.h"

#include "Captures/CaptureFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;
using namespace VivozoTest;

namespace
{

// The first sh block after the heading.
std::string firstBlockAfter(const std::string& text, const std::string& heading)
{
    const std::size_t section = text.find("\n" + heading + "\n");
    const std::size_t start = text.find("\n```sh\n", section);
    const std::size_t end = text.find("\n```\n", start + 1);
    if (section == std::string::npos || start == std::string::npos || end == std::string::npos)
        return {};
    return text.substr(start + 7, end + 1 - (start + 7));
}

TEST(ReadmeRecipe, RunningTheLoggerForRealLogsTheCaptureConvertsItAndEnds)
{
    if (std::system("command -v convbin >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "convbin is not installed (Debian package rtklib)";
    std::string reason;
    if (!isolateNetwork(reason))
        std::cerr << "running without a network namespace of its own: " << reason << "\n";
    const std::string source = std::getenv("VIVOZO_SOURCE_DIR");
    const std::string block =
        firstBlockAfter(readFile(source + "/README.md"), "## Running the logger for real");
    ASSERT_NE(block, "");

    // The checkout as the block sees it: build/ is wherever this tree was built.
    const fs::path home = fs::temp_directory_path() / ("vivozo-readme-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    fs::create_directory_symlink(std::getenv("VIVOZO_BINARY_DIR"), home / "build");
    for (const char* part : {"scripts", "data"})
        fs::create_directory_symlink(fs::path(source) / part, home / part);
    std::ofstream(home / "recipe.sh") << block;
    const std::string run = "cd '" + home.string() + "' && HOME='" + home.string() +
                            "' timeout 300 bash recipe.sh >recipe.out 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0) << readFile(home / "recipe.out");

    // One log file holding the capture's frames as sent, converted beside it.
    std::vector<fs::path> logs, rinex;
    for (const auto& entry : fs::recursive_directory_iterator(home / "zelt/c/rtcm"))
    {
        if (entry.path().extension() == ".rtcm")
            logs.push_back(entry.path());
        if (entry.path().extension() == ".08o")
            rinex.push_back(entry.path());
    }
    ASSERT_EQ(logs.size(), 1u) << readFile(home / "recipe.out");
    EXPECT_EQ(readFile(logs[0]), joined(rtcmFrames(readFile(VivozoCaptures::captureFile("testglo.rtcm3")))));
    ASSERT_EQ(rinex.size(), 1u);
    EXPECT_NE(readFile(home / "recipe.out")
                  .find("\tInfo: Converted C:\\rtcm\\" + logs[0].parent_path().filename().string() + "\\" +
                        logs[0].filename().string() + " to RINEX: 186 epochs of GPS, GLONASS"),
              std::string::npos)
        << readFile(home / "recipe.out");
    fs::remove_all(home);
}

} // namespace
