// The log sink on a real file system below a temporary ZELT_ROOT, its conversion queue running a
// converter that only reads the file.
#include "RORUVivozo/VelmorClockBoundary.h"
#include "RORUVivozo/VelmorLogFilePattern.h"
#include "RORUVivozo/VelmorLogSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LogFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vivozo-logfile-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "c");
        ::setenv("ZELT_ROOT", m_root.c_str(), 1);
        m_previousDirectory = fs::current_path();
    }
    void TearDown() override
    {
        fs::current_path(m_previousDirectory);
        fs::remove_all(m_root);
    }

    CLogSink makeSink()
    {
        const auto convert = [this](const std::string&, const Rtcm3::ConversionSteps& steps,
                                    std::string* problem, const Rtcm3::ScanContext&)
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [this] { return !m_holdConversions; });
            lock.unlock();
            const Rtcm3::ScanFile file = steps.open(problem);
            std::string content;
            for (int c; file && (c = std::fgetc(file.get())) != EOF;)
                content += static_cast<char>(c);
            lock.lock();
            m_converted.push_back(content);
            m_changed.notify_all();
            lock.unlock();
            // As a loaded machine may: the test goes on before the conversion has quite ended.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return true;
        };
        return CLogSink([this](const std::string& line) { m_lines.push_back(line); },
                        std::chrono::seconds(10), {}, {}, nullptr, convert);
    }
    // The contents the conversion read, once it has read count files.
    std::vector<std::string> converted(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_converted.size() >= count; });
        return m_converted;
    }
    void holdConversions(bool hold)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_holdConversions = hold;
        m_changed.notify_all();
    }
    fs::path native(const std::string& written) const
    {
        std::string path = written.substr(2); // "C:"
        for (char& c : path)
            if (c == '\\')
                c = '/';
        return m_root / "c" / fs::path(path).relative_path();
    }

    fs::path m_root;
    fs::path m_previousDirectory;
    std::vector<std::string> m_lines;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_holdConversions = false;
    std::vector<std::string> m_converted; // the content of every file the conversion read
};

} // namespace

TEST(DateTokens, AreReplacedByTheUtcFields)
{
    const std::time_t at = 1796685000; // 2026-12-07 23:10:00 UTC
    struct Case
    {
        const char* text;
        const char* expanded;
    };
    const Case cases[] = {
        {"C:\\rtcm\\_TOKY_\\_TOKM_\\base__TOKD__TOKH_.rtcm", "C:\\rtcm\\2026\\12\\base_0723.rtcm"},
        {"_TOKN__TOKS_x_TOKN_", "1000x10"},
        {"D:\\rtcm\\base.rtcm", "D:\\rtcm\\base.rtcm"},
        {"_TOKX__TOKY", "_TOKX__TOKY"},
        {"_TOK_TOKD_D_", "_TOK07D_"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expandDateTokens(c.text, at), c.expanded) << c.text;
}

TEST(MovedAsideName, KeepsTheFileUnderANameOfItsOwn)
{
    struct Case
    {
        const char* path;
        int counter;
        const char* moved;
    };
    const Case cases[] = {
        {"D:\\rtcm\\base.rtcm", 0, "D:\\rtcm\\base_261207140509.rtcm"},
        {"D:\\rtcm\\base.rtcm", 2, "D:\\rtcm\\base_261207140509_2.rtcm"},
        {"D:\\a.rtcm\\base.rtcm", 0, "D:\\a.rtcm\\base_261207140509.rtcm"},
        {"D:\\rtcm\\base.dat", 0, "D:\\rtcm\\base_261207140509.dat"},
        {"D:\\rtcm.d\\base", 1, "D:\\rtcm.d\\base_261207140509_1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(movedAsideName(c.path, "_261207140509", c.counter), c.moved) << c.path;
    EXPECT_EQ(movedAsideSuffix(static_cast<std::time_t>(-1)), "0000000000");
    EXPECT_EQ(movedAsideSuffix(std::time(nullptr)).size(), 13u);
}

TEST(ClockBoundary, FallsOnWholeIntervalsFromMidnightUtcAndTheDayEndsAtMidnight)
{
    const auto at = [](std::time_t t) { return std::chrono::system_clock::from_time_t(t); };
    constexpr std::time_t kMidnight = 1796601600; // 2026-12-07 00:00:00 UTC
    struct Case
    {
        std::time_t after;
        int minutes;
        std::time_t boundary;
    } const cases[] = {
        {kMidnight + 40, 1, kMidnight + 60},
        {kMidnight + 60, 1, kMidnight + 120},
        {kMidnight + 3599, 60, kMidnight + 3600},
        {kMidnight + 83000, 1440, kMidnight + 86400},
        {kMidnight + 86200, 7, kMidnight + 86400},
        {kMidnight + 86400, 7, kMidnight + 86400 + 420},
        {kMidnight + 100, 2880, kMidnight + 86400 * 2}, // 2026-12-09: an even number of days since 1970
    };
    for (const Case& c : cases)
        EXPECT_EQ(nextClockBoundary(at(c.after), c.minutes), at(c.boundary)) << c.after << " " << c.minutes;
}

TEST_F(LogFileTest, OwnLogFilePatternKnowsTheNameBeforeAMoveAsideAndReachesEveryDatedFolder)
{
    const auto pattern = CLogFilePattern::of("C:\\rtcm\\_TOKY__TOKM__TOKD_", "base__TOKH__TOKN_.rtcm");
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->unmovedName("base_2315_261207140509_2.rtcm"), "base_2315.rtcm");
    EXPECT_EQ(pattern->unmovedName("base_2315.rtcm"), "base_2315.rtcm");
    EXPECT_FALSE(CLogFilePattern::of("C:\\rtcm\\..", "base.rtcm"));

    // Years of dated folders, a service's limit of open files: none is passed over.
    for (int day = 0; day < 200; ++day)
        fs::create_directories(m_root / "c/rtcm" / std::to_string(20200000 + day));
    rlimit previous{}, limited{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &previous), 0);
    limited = {std::distance(fs::directory_iterator("/proc/self/fd"), {}) + 20ul, previous.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limited), 0);
    int reached = 0;
    pattern->forEachFolder([&](const OwnLogFolder&) { return ++reached != 0; });
    ::setrlimit(RLIMIT_NOFILE, &previous);
    EXPECT_EQ(reached, 200);
}

TEST(ParentComponent, OnlyAWholeDotDotBetweenSeparatorsLeadsOut)
{
    for (const char* path :
         {"C:\\..\\tmp\\x.rtcm", "C:..\\x.rtcm", "D:\\rtcm/../x.rtcm", "..", "..\\up.rtcm", "C:\\rtcm\\.."})
        EXPECT_TRUE(holdsParentComponent(path)) << path;
    for (const char* path :
         {"C:\\rtcm\\base.rtcm", "C:\\rtcm\\...\\x.rtcm", "C:\\a..b\\x..rtcm", ".\\x.rtcm", ""})
        EXPECT_FALSE(holdsParentComponent(path)) << path;
}

TEST_F(LogFileTest, OpensInNewDirectoriesAndAppendsDatagramsExactly)
{
    CLogSink file = makeSink();
    ASSERT_TRUE(file.openLogFile("C:\\logs\\deep\\er", "base.rtcm"));
    EXPECT_EQ(file.path(), "C:\\logs\\deep\\er\\base.rtcm");
    EXPECT_EQ(fs::current_path(), m_previousDirectory) << "a created directory is not entered";
    ASSERT_EQ(m_lines.back(), "\n\tOpened datagram log file:\n\tC:\\logs\\deep\\er\\base.rtcm");

    const std::vector<unsigned char> small{0xD3};
    std::vector<unsigned char> large(1400);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<unsigned char>(i * 7);
    file.writeDatagram(small.data(), small.size());
    file.writeDatagram(large.data(), 0);
    file.writeDatagram(large.data(), large.size());
    // Each datagram is in the file while the file is still open.
    const std::string expected =
        std::string(small.begin(), small.end()) + std::string(large.begin(), large.end());
    EXPECT_EQ(readFile(native(file.path())), expected);

    file.rotate();
    EXPECT_EQ(m_lines.back(), "\n\t Closed datagram log file:\n\t C:\\logs\\deep\\er\\base.rtcm.");
    EXPECT_EQ(converted(1), std::vector<std::string>{expected});

    // Closing again hands nothing on; writing now reports the closed file.
    file.closeLogFile();
    file.writeDatagram(small.data(), small.size());
    EXPECT_EQ(m_lines.back(),
              "\n\tERROR: Datagram log file not open:\n\t       C:\\logs\\deep\\er\\base.rtcm.");
    EXPECT_EQ(readFile(native(file.path())), expected);

    // The second open finds the directory and stays in it.
    ASSERT_TRUE(file.openLogFile("C:\\logs\\deep\\er", "other.rtcm"));
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(m_root / "c/logs/deep/er"));
    file.stop();
    EXPECT_EQ(converted(2).size(), 2u);
}

TEST_F(LogFileTest, AnExistingFileIsMovedAsideNeverReplacedAndConvertedOnceFromWhereItStays)
{
    fs::create_directories(m_root / "c/logs");
    CLogSink file = makeSink();
    std::vector<std::string> contents;
    // Three opens within (most likely) one second: every earlier file must survive. Each finds a
    // file that some other writer left, also where it rewrote the one closed here before.
    for (std::size_t round = 0; round < 3; ++round)
    {
        const std::string content = "round " + std::to_string(round);
        std::ofstream(m_root / "c/logs/base.rtcm", std::ios::binary) << content;
        contents.push_back(content);
        m_lines.clear();
        ASSERT_TRUE(file.openLogFile("C:\\logs", "base.rtcm"));
        ASSERT_EQ(m_lines.size(), 4u);
        EXPECT_EQ(m_lines[0], "\n\tError: File exists:\n\t       'C:\\logs\\base.rtcm'");
        EXPECT_EQ(m_lines[1], "\n\t Closed datagram log file:\n\t C:\\logs\\base.rtcm.");
        const std::string renamed =
            "\n\tRenamed existing datagram log file:\n\t       C:\\logs\\base.rtcm to\n\t       ";
        ASSERT_EQ(m_lines[2].rfind(renamed + "C:\\logs\\base_", 0), 0u) << m_lines[2];
        EXPECT_EQ(m_lines[3], "\n\tOpened datagram log file:\n\tC:\\logs\\base.rtcm");
        // Converted where it stays, with its own content, not the fresh file's.
        EXPECT_EQ(converted(2 * round + 1).back(), content);
        EXPECT_EQ(fs::file_size(m_root / "c/logs/base.rtcm"), 0u);
        file.closeLogFile();
        EXPECT_EQ(converted(2 * round + 2).back(), "");
    }

    // A file closed here went to the conversion at its close: found again, it is only moved aside, and
    // a conversion still to come reads it under its new name.
    const unsigned char byte = 0xD3;
    ASSERT_TRUE(file.openLogFile("C:\\logs", "base.rtcm"));
    file.writeDatagram(&byte, 1);
    holdConversions(true);
    file.closeLogFile();
    ASSERT_TRUE(file.openLogFile("C:\\logs", "base.rtcm"));
    EXPECT_NE(m_lines.back().find("Opened"), std::string::npos);
    holdConversions(false);
    file.stop();
    EXPECT_EQ(converted(8),
              (std::vector<std::string>{"round 0", "", "round 1", "", "round 2", "", "\xD3", ""}));
    contents.push_back("");
    contents.push_back(std::string(1, '\xD3'));

    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(m_root / "c/logs"))
        if (entry.path().filename() != "base.rtcm")
            kept.push_back(readFile(entry.path()));
    std::sort(kept.begin(), kept.end());
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(kept, contents);
}

TEST_F(LogFileTest, AFailedWriteLosesOnlyThatDatagram)
{
    CLogSink file = makeSink();
    ASSERT_TRUE(file.openLogFile("C:\\logs", "full.rtcm"));

    // A file-size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::vector<unsigned char> first(600, 'a'), second(600, 'b'), third(300, 'c');
    file.writeDatagram(first.data(), first.size());
    m_lines.clear();
    file.writeDatagram(second.data(), second.size());
    file.writeDatagram(third.data(), third.size());
    ::setrlimit(RLIMIT_FSIZE, &previous);

    ASSERT_EQ(m_lines, std::vector<std::string>{
                           "\n\tERROR: Writing to datagram log file:\n\t       C:\\logs\\full.rtcm."});
    EXPECT_EQ(readFile(m_root / "c/logs/full.rtcm"), std::string(600, 'a') + std::string(300, 'c'));
}

TEST_F(LogFileTest, AFileRemovedOrReplacedWhileOpenIsOpenedAfreshBeforeTheNextDatagram)
{
    CLogSink file = makeSink();
    ASSERT_TRUE(file.openLogFile("C:\\logs", "gone.rtcm"));
    fs::remove(m_root / "c/logs/gone.rtcm");
    m_lines.clear();
    const unsigned char byte = 0xD3;
    file.writeDatagram(&byte, 1);
    EXPECT_EQ(m_lines, (std::vector<std::string>{
                           "\n\tERROR: Datagram log file removed or replaced while open:\n\t       "
                           "C:\\logs\\gone.rtcm.",
                           "\n\tOpened datagram log file:\n\tC:\\logs\\gone.rtcm"}));
    EXPECT_EQ(readFile(m_root / "c/logs/gone.rtcm"), std::string(1, '\xD3'));
    // Moved away by hand, and some other file put in its place: that one is moved aside and converted.
    fs::rename(m_root / "c/logs/gone.rtcm", m_root / "c/logs/kept.rtcm");
    std::ofstream(m_root / "c/logs/gone.rtcm", std::ios::binary) << "other";
    m_lines.clear();
    file.writeDatagram(&byte, 1);
    EXPECT_EQ(m_lines.front(), "\n\tERROR: Datagram log file removed or replaced while open:\n\t       "
                               "C:\\logs\\gone.rtcm.");
    EXPECT_EQ(m_lines.back(), "\n\tOpened datagram log file:\n\tC:\\logs\\gone.rtcm");
    EXPECT_EQ(readFile(m_root / "c/logs/gone.rtcm"), std::string(1, '\xD3'));
    file.stop();
    // The files written before are out of reach: only the one put in their place and the last convert.
    EXPECT_EQ(converted(2), (std::vector<std::string>{"other", std::string(1, '\xD3')}));
}

TEST_F(LogFileTest, AnOverlongOrBlockedPathFailsTheOpenWithItsReport)
{
    CLogSink file = makeSink();
    std::string directory = "C:\\long";
    while (directory.size() < 700)
        directory += "\\abcdefghij";
    EXPECT_FALSE(file.openLogFile(directory, "base.rtcm"));
    EXPECT_EQ(m_lines.back(), "\n\tError: Not able to open file:\n\t       '" + directory + "\\base.rtcm'");

    // A directory in the file's place is not taken for an existing log file.
    fs::create_directories(m_root / "c/logs/base.rtcm");
    EXPECT_FALSE(file.openLogFile("C:\\logs", "base.rtcm"));
    file.stop();
    EXPECT_TRUE(converted(0).empty());
    EXPECT_TRUE(fs::is_directory(m_root / "c/logs/base.rtcm"));
}
