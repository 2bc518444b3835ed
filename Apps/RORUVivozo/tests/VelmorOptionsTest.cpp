// The command line: ReadArg's conversions and results, the option texts and the banner, byte for byte.
#include "RORUVivozo/VelmorOptions.h"
#include "RORUVivozo/ReadArg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace
{

// Keeps an argument vector alive for the call, the program name first.
struct Args
{
    explicit Args(std::vector<std::string> words) : texts(std::move(words))
    {
        texts.insert(texts.begin(), "RORUVivozo");
        for (auto& t : texts)
            pointers.push_back(t.data());
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(texts.size()); }
    char** argv() { return pointers.data(); }

    std::vector<std::string> texts;
    std::vector<char*> pointers;
};

struct Parsed
{
    VelmorOptions options;
    int errors = 0;
    std::string err;
};

Parsed parse(std::vector<std::string> words)
{
    Args args(std::move(words));
    Parsed p;
    std::ostringstream err;
    std::istringstream in("k");
    p.errors = readVelmorOptions(args.argc(), args.argv(), p.options, err, in);
    p.err = err.str();
    return p;
}

TEST(ReadArg, ResultsAndConversions)
{
    Args args({"-c", "300", "-d", "2.5", "-i", "-7", "-l", "42", "-x", "ff", "-s", "text", "-two", "1", "2"});
    std::int8_t c = 0;
    double d = 0;
    std::int32_t i = 0, l = 0, x = 0, first = 0, second = 0;
    const char* s = nullptr;
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-c %c", &c), 2);
    EXPECT_EQ(c, 44);
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-d %d", &d), 2);
    EXPECT_DOUBLE_EQ(d, 2.5);
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-i %i", &i), 2);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-l %l", &l), 2);
    EXPECT_EQ(l, 42);
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-x %x", &x), 2);
    EXPECT_EQ(x, 255);
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-s %s", &s), 2);
    EXPECT_STREQ(s, "text");
    EXPECT_EQ(s, args.argv()[12]) << "the text is the argument itself, not a copy";
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-two %i %i", &first, &second), 2);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);

    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-absent %i", &i), 1);
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-C %c", &c), 1) << "names are case-sensitive";
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "no dash"), 0);
    std::int32_t kept = 5;
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-two %i %q", &kept, &second), 0);
    EXPECT_EQ(kept, 1) << "destinations already filled keep their values";
}

TEST(ReadArg, AMissingValueIsAbsentTextOrAnError)
{
    Args args({"-n", "-s"});
    const char* s = "preset";
    std::int8_t c = 9;
    EXPECT_EQ(ReadArg(args.argc(), args.argv(), "-s %s", &s), 2);
    EXPECT_EQ(s, nullptr);
    Args last({"-c"});
    EXPECT_EQ(ReadArg(last.argc(), last.argv(), "-c %c", &c), 0);
    EXPECT_EQ(c, 9);
}

TEST(Options, DefaultsAndTheBanner)
{
    unsetenv("RTCM_LOGNAME");
    Parsed p = parse({});
    EXPECT_EQ(p.errors, 0);
    EXPECT_EQ(p.err, "\n");
    std::ostringstream banner;
    writeOptionsBanner(banner, p.options);
    EXPECT_EQ(banner.str(), "\n"
                            "------------------------------------------------------------\n"
                            "- Command Line Options (default values if not set)\n"
                            "------------------------------------------------------------\n"
                            "- Process Name              : RORUVIVOZO\n"
                            "- Debug                     : 0x0\n"
                            "- Log file                  : C:/temp/RORUVivozo.txt\n"
                            "- noconsole                 : 0\n"
                            "------------------------------------------------------------\n");

    setenv("RTCM_LOGNAME", "D:\\logs\\vivozo.txt", 1);
    EXPECT_EQ(parse({}).options.logFileName, "D:\\logs\\vivozo.txt");
    EXPECT_EQ(parse({"-logfile", "x.txt"}).options.logFileName, "x.txt");
    unsetenv("RTCM_LOGNAME");
}

TEST(Options, DebugMaskAndNames)
{
    struct Case
    {
        std::vector<std::string> words;
        const char* name;
        unsigned mask;
        const char* shown;
        bool noConsole;
        bool allInterfaces = false;
    };
    const Case cases[] = {
        {{"-debug", "31"}, "RORUVIVOZO", 31, "0x1f", false},
        {{"-debug", "300", "-name", "X"}, "X", 44, "0x2c", false},
        {{"-debugx", "3"}, "RORUVIVOZO", 0, "0x0", false},
        {{"-name", "-debug", "5"}, "-debug", 5, "0x5", false},
        {{"-debug", "8", "-name"}, "RORUVIVOZO", 8, "0x8", false},
        {{"-noconsole", "-debug", "200"}, "RORUVIVOZO", 200, "0xc8", true},
        {{"-cmdallinterfaces"}, "RORUVIVOZO", 0, "0x0", false, true},
    };
    for (const auto& c : cases)
    {
        Parsed p = parse(c.words);
        EXPECT_EQ(p.errors, 0);
        EXPECT_EQ(p.options.processName, c.name);
        EXPECT_EQ(p.options.debugMask, c.mask);
        EXPECT_EQ(p.options.noConsole, c.noConsole);
        EXPECT_EQ(p.options.commandsFromAllInterfaces, c.allInterfaces);
        std::ostringstream banner;
        writeOptionsBanner(banner, p.options);
        EXPECT_NE(banner.str().find(std::string("- Debug                     : ") + c.shown + "\n"),
                  std::string::npos)
            << banner.str();
    }
}

TEST(Options, DebugWithoutValueIsAnOptionError)
{
    Parsed p = parse({"-debug"});
    EXPECT_EQ(p.errors, 1);
    EXPECT_EQ(p.err, "\n         Error in argument: -debug option failed.  \n");
}

TEST(Options, HelpAndUsageTexts)
{
    const std::string lines = "\n\t[-name \"RORUVivozo process name\" Name of the RORUVivozo process]";
    const std::string tail = "\n\t                          1=Trans, 2=Sig, 4=Job, 8=Data, 16=Timers, 31=All]"
                             "\n\t[-logfile \"file name\"     Use to log to file]"
                             "\n\t[-noconsole               Use to turn off logging to console]\n";
    std::ostringstream usage;
    writeUsageText(usage);
    EXPECT_EQ(usage.str(),
              "\nUsage:" + lines + "\n\t[-debug arg               Arg is sum of selected choices:" + tail);

    Parsed p = parse({"-help"});
    EXPECT_EQ(p.errors, 0);
    EXPECT_EQ(p.err, "\n\nUsage for debug:" + lines +
                         "\n\t[-debug arg               Arg sum of selected elem:" + tail +
                         "\nPlease press a key to close down program.\n");
}

TEST(Options, CommandLineTextEndsInABlankAndIsCut)
{
    Args args({"-debug", "8"});
    EXPECT_EQ(joinCommandLine(args.argc(), args.argv()), "RORUVivozo -debug 8 ");
    Args longArgs({std::string(2000, 'a')});
    EXPECT_EQ(joinCommandLine(longArgs.argc(), longArgs.argv()).size(), commandLineCapacity);
}

} // namespace
