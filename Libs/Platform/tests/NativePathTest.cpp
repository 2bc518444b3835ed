// The one mapping from the suite's path texts to native paths.
#include "Platform/NativePath.h"
#include "Platform/SuiteDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

struct PathCase
{
    const char* root; // nullptr: ZELT_ROOT unset
    const char* text;
    const char* native;
};

TEST(NativePath, MapsDrivesAndBackslashes)
{
    const PathCase cases[] = {
        {nullptr, "C:\\temp", "/c/temp"},
        {nullptr, "c:\\temp\\token.lck", "/c/temp/token.lck"},
        {"/tmp/root", "C:\\ProgramData\\Hollvik\\zelt\\zelt.db", "/tmp/root/c/ProgramData/Hollvik/zelt/zelt.db"},
        {"/tmp/root", "D:/rtcm\\base.rtcm", "/tmp/root/d/rtcm/base.rtcm"},
        {"/tmp/root", "d:", "/tmp/root/d"},
        {"/tmp/root", "E:data", "/tmp/root/e/data"},
        {"/tmp/root", "relative\\dir\\file", "relative/dir/file"},
        {"/tmp/root", "/already/native", "/already/native"},
        {"/tmp/root", "1:\\not-a-drive", "1:/not-a-drive"},
        {"/tmp/root", "", ""},
    };
    for (const auto& c : cases)
    {
        if (c.root != nullptr)
            setenv("ZELT_ROOT", c.root, 1);
        else
            unsetenv("ZELT_ROOT");
        EXPECT_EQ(Platform::nativePath(c.text), c.native) << c.text;
    }
    unsetenv("ZELT_ROOT");
}

TEST(NativePath, ProgramDataDefaultsToTheWindowsText)
{
    unsetenv("ProgramData");
    EXPECT_EQ(Platform::programData(), "C:\\ProgramData");
    setenv("ProgramData", "D:\\Suite", 1);
    EXPECT_EQ(Platform::programData(), "D:\\Suite");
    unsetenv("ProgramData");
}

TEST(SuiteDataDirectory, KeepsItsWrittenFormAndFollowsProgramData)
{
    unsetenv("ProgramData");
    EXPECT_EQ(Platform::suiteDataDirectory(), "C:\\ProgramData\\Hollvik\\zelt\\");
    setenv("ProgramData", "D:\\Suite", 1);
    EXPECT_EQ(Platform::suiteDataDirectory(), "D:\\Suite\\Hollvik\\zelt\\");
    unsetenv("ProgramData");
}

} // namespace
