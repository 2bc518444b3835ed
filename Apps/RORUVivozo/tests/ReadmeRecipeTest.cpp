// The README's "Running the logger for real" block, run as it stands there, so that it stays true: in a
// network namespace of its own, from a directory that looks like the checkout, with a home of its own.
#include "support/LoggerRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>

namespace fs = std::filesystem;
using namespace VivozoTest;

TEST(ReadmeRecipe, RunningTheLoggerForRealLogsTheCaptureConvertsItAndEnds)
{
    if (std::system("command -v convbin >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "convbin is not installed (Debian package rtklib)";
    std::string reason;
    if (!isolateNetwork(reason))
        std::cerr << "running without a network namespace of its own: " << reason << "\n";
    const std::string source = std::getenv("VIVOZO_SOURCE_DIR");
    const std::string readme = readFile(source + "/README.md");
    const std::size_t start = readme.find("\n```sh\n", readme.find("\n## Running the logger for real\n")) + 7;
    const std::string block = readme.substr(start, readme.find("\n```\n", start) + 1 - start);

    // The checkout as the block sees it: build/ is wherever this tree was built.
    const fs::path home = fs::temp_directory_path() / ("vivozo-readme-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    fs::create_directory_symlink(std::getenv("VIVOZO_BINARY_DIR"), home / "build");
    for (const char* part : {"scripts", "data"})
        fs::create_directory_symlink(fs::path(source) / part, home / part);
    std::ofstream(home / "recipe.sh") << block;
    const std::string run =
        "cd '" + home.string() + "' && HOME=\"$PWD\" timeout 300 bash recipe.sh >recipe.out 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0) << block;

    // The whole capture logged into one file of the day and converted beside it: its trace line says so.
    const std::string output = readFile(home / "recipe.out");
    EXPECT_TRUE(
        std::regex_search(output, std::regex(R"(\n\tInfo: Converted C:\\rtcm\\\d{8}\\base_\d{4}\.rtcm )"
                                             R"(to RINEX: 186 epochs of GPS, GLONASS in C:\\rtcm\\)")))
        << output;
    fs::remove_all(home);
}
