// zeltconsole serve as a child process: its page in a headless chromium, its refusals over real HTTP.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace
{

std::string run(const std::string& line)
{
    std::string out;
    FILE* pipe = ::popen(line.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    if (pipe != nullptr)
        ::pclose(pipe);
    return out;
}

void write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path.string() + ".new") << text;
    fs::rename(path.string() + ".new", path);
}

// A suite root with the logger's snapshot, a closed file's quality report and picture, a report that is a
// link out of the root and a secret outside it, a connected bridge's status, a missing one and a link; the
// server on a port the system picks.
class StatusServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::remove_all(m_dir);
        write(m_secret, R"({"summary": "SECRET"})");
        write(m_report, R"({"station": {"id": 0}, "epochs": 58, "expected_epochs": 61, "completeness": 0.951,
            "satellites": {"G": {"distinct": 9, "mean_per_epoch": 8.4}}, "picture": "20261209_201400.qc.png",
            "gaps": [{"start": "2026-12-09T20:14:10Z", "end": "2026-12-09T20:14:14Z", "seconds": 4}]})");
        write(m_report.parent_path() / "20261209_201400.qc.png", "\x89PNG\r\n\x1a\n");
        fs::create_symlink(m_secret, m_root / "c/rtcm/link.qc.json");
        writeSnapshot("null");
        write(m_bridge,
              R"({"program": "rtcmbridge", "pid": 77, "written_unix": )" + std::to_string(now()) +
                  R"(, "source": "ntrip://surveyor@caster.example.net:2101/BASE1", "connected": true,
            "since": "2026-12-09T20:00:00.000Z", "connection": "NTRIP 2.0", "frames": 5120, "bad_crc_frames": 2})");
        fs::create_symlink(m_bridge, m_root / "c/temp/link.json");
        m_server = ::popen(("echo $$; exec " ZELTCONSOLE_PATH " serve --listen 127.0.0.1:0 --logs " +
                            m_root.string() + " --status " + m_snapshot.string() + " --bridge " +
                            m_bridge.string() + " --bridge " + m_root.string() +
                            "/c/temp/missing.json --bridge " + m_root.string() + "/c/temp/link.json")
                               .c_str(),
                           "r");
        char line[512] = {};
        ASSERT_TRUE(std::fgets(line, sizeof line, m_server) != nullptr);
        m_pid = std::stoi(line);
        ASSERT_TRUE(std::fgets(line, sizeof line, m_server) != nullptr);
        const std::string serving(line);
        m_url = serving.substr(serving.find("http://"), serving.find("/ (") + 1 - serving.find("http://"));
    }

    void TearDown() override
    {
        ::kill(m_pid, SIGTERM);
        EXPECT_EQ(::pclose(m_server), 0) << "the server did not end cleanly on SIGTERM";
        fs::remove_all(m_dir);
    }

    // The example snapshot, written age seconds ago, without data for noDataFor (JSON), listing the report,
    // the link and the secret.
    void writeSnapshot(const std::string& noDataFor, double age = 0)
    {
        std::ifstream example(STATUS_SNAPSHOT_PATH);
        std::string text((std::istreambuf_iterator<char>(example)), {});
        text.replace(text.find("1796847303.123"), 14, std::to_string(now() - age));
        text.replace(text.find("\"no_data_for_s\": 8.0"), 20, "\"no_data_for_s\": " + noDataFor);
        text.replace(text.find("\"quality\": null"), 15, "\"quality\": \"" + m_report.string() + "\"");
        const auto listing = [](const fs::path& report) {
            return R"(, {"path": "C:\\x.rtcm", "result": "converted", "quality": ")" + report.string() +
                   "\"}";
        };
        text.insert(text.find("}]},") + 1, listing(m_root / "c/rtcm/link.qc.json") + listing(m_secret));
        write(m_snapshot, text);
    }

    static double now()
    {
        return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    }

    std::string page()
    {
        const fs::path profile = m_dir / "chromium";
        return run("chromium --headless --no-sandbox --disable-gpu --disable-background-networking "
                   "--disable-component-update --no-first-run --disable-sync --user-data-dir=" +
                   profile.string() + " --virtual-time-budget=2000 --dump-dom " + m_url + " 2>/dev/null");
    }

    // The status code of a real request, the path sent as written.
    std::string status(const std::string& method, const std::string& path)
    {
        return run("curl -s --path-as-is -o /dev/null -w '%{http_code}' " +
                   (method == "HEAD" ? std::string("-I") : "-X " + method) + " '" + m_url + path.substr(1) +
                   "'");
    }

    const fs::path m_dir = fs::path(::testing::TempDir()) / ("zeltserve-" + std::to_string(::getpid()));
    const fs::path m_root = m_dir / "root";
    const fs::path m_secret = m_dir / "outside/secret.qc.json";
    const fs::path m_report = m_root / "c/rtcm/20261209/20261209_201400.qc.json";
    const fs::path m_snapshot = m_root / "c/temp/RORUVivozo.status.json";
    const fs::path m_bridge = m_root / "c/temp/bridge.json";
    FILE* m_server = nullptr;
    pid_t m_pid = -1;
    std::string m_url;
};

} // namespace

TEST_F(StatusServer, ThePageShowsTheOpenFileTheBridgesTheLastFilesAnOutageAndAStaleOrMissingSnapshot)
{
    const std::string logging = page();
    EXPECT_NE(logging.find("C:\\rtcm\\20261209\\base_2015.rtcm"), std::string::npos) << logging;
    EXPECT_NE(logging.find("completeness 97.2 %, G 9 R 7 satellites, 1 gap (60 s)"), std::string::npos);
    EXPECT_NE(logging.find("95.1 %: 58 of 61 epochs"), std::string::npos);
    EXPECT_NE(logging.find("<img src=\"/files/c/rtcm/20261209/20261209_201400.qc.png\""), std::string::npos);
    EXPECT_NE(logging.find("leads outside the log folder"), std::string::npos);
    EXPECT_EQ(logging.find("SECRET"), std::string::npos);
    EXPECT_NE(logging.find("<div id=\"banner\"></div>"), std::string::npos);
    EXPECT_NE(logging.find("connected since 2026-12-09 20:00:00 UTC (NTRIP 2.0)"), std::string::npos);
    EXPECT_NE(logging.find("<th>Frames</th><td>5,120</td></tr><tr><th>Bad CRC frames</th><td>2</td>"),
              std::string::npos);
    EXPECT_NE(
        logging.find("no bridge status at " + m_root.string() + "/c/temp/missing.json: the bridge is not"),
        std::string::npos);
    EXPECT_NE(logging.find("/c/temp/link.json is a symbolic link: not followed"), std::string::npos);
    EXPECT_NE(logging.find("3.5 GB free, 38.5 days left at the current rate"), std::string::npos);
    EXPECT_NE(logging.find("drawn from the logger's last 59"), std::string::npos); // not only this page's
    EXPECT_NE(logging.find("deleted 7 files of 1 log files (2.3 MB), kept 1 older log files"),
              std::string::npos);

    // An outage in a snapshot written a minute ago: it has lasted a minute longer since.
    writeSnapshot("42", 60);
    const std::string stale = page();
    EXPECT_NE(stale.find("<div id=\"banner\">no data for 10"), std::string::npos) << stale;
    EXPECT_NE(stale.find(" s old: the logger is not running, or is stuck</div>"), std::string::npos);
    fs::remove(m_snapshot);
    EXPECT_NE(page().find("no status snapshot at " + m_snapshot.string()), std::string::npos);
}

TEST_F(StatusServer, AnswersOnlyGetAndHeadAndServesNothingTheSnapshotDoesNotListBelowTheLogFolder)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        {"GET", "/", "200"},
        {"HEAD", "/status.json", "200"},
        {"GET", "/files.json", "200"},
        {"GET", "/bridges.json", "200"},
        {"GET", "/files/c/rtcm/20261209/20261209_201400.qc.png", "200"},
        {"GET", "/files/c/rtcm/20261209/20261209_201400.qc.json?x=1", "200"},
        {"POST", "/status.json", "405"},
        {"DELETE", "/", "405"},
        {"GET", "/nothing", "404"},
        {"GET", "/files/c/temp/RORUVivozo.status.json", "404"},
        {"GET", "/files/../outside/secret.qc.json", "404"},
        {"GET", "/files/%2e%2e/outside/secret.qc.json", "404"},
        {"GET", "/files/c/rtcm/20261209/../../../../outside/secret.qc.json", "404"},
        {"GET", "/files/c/rtcm/link.qc.json", "403"},
    };
    for (const auto& [method, path, expected] : cases)
        EXPECT_EQ(status(method, path), expected) << method << " " << path;
}
