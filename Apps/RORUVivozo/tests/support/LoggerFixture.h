// The fixture of the tests that run the built logger: a temporary suite, a network namespace of the
// test's own, a listener on the status port, the operator console and a stand-in "makerinex.bat".
#pragma once

#include "support/LoggerRun.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace VivozoTest
{

using namespace std::chrono_literals;

inline constexpr std::uint16_t kDataPort = 3011;
inline constexpr char kOn[] = "$PZELT,162,ON\n\r";
inline constexpr char kOff[] = "$PZELT,162,OFF\n\r";
inline constexpr char kSelectedOn[] = "$PZELT,163,ON\n\r";
inline constexpr char kSelectedOff[] = "$PZELT,163,OFF\n\r";

class LoggerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_suite.ok()) << m_suite.error();
        std::string reason;
        if (!isolateNetwork(reason))
            std::cerr << "running without a network namespace of its own: " << reason << "\n";
        // Sockets belong to the namespace they were made in: the listener comes after the move.
        m_listener = std::make_unique<StatusListener>();
        installMakeRinexStandIn(m_suite.root());
        // Quiet supervision unless a test asks for it.
        setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 600);
        setToken("RUNT_PARAM_RTCM_INPUT_FREQ_INTERVAL_LENGTH", 0);
    }

    void setToken(const std::string& name, int value)
    {
        ASSERT_TRUE(m_suite.exec("UPDATE integer_values SET value = " + std::to_string(value) +
                                 " WHERE id = (SELECT value_id FROM token_value WHERE token = '" + name +
                                 "')"))
            << m_suite.error();
    }

    void setText(const std::string& name, const std::string& value)
    {
        ASSERT_TRUE(m_suite.exec("UPDATE varchar_values SET value = '" + value +
                                 "' WHERE id = (SELECT value_id FROM token_value WHERE token = '" + name +
                                 "')"))
            << m_suite.error();
    }

    // Starts the logger and waits until it has read its parameters and told the operator.
    void startLogger(const char* selected = kSelectedOff,
                     std::vector<std::string> arguments = {"-debug", "31"},
                     Permissions permissions = Permissions::AsTheTest,
                     const std::vector<std::string>& wrapper = {})
    {
        ASSERT_TRUE(status().ok());
        const std::size_t from = status().count();
        m_logger = std::make_unique<LoggerProcess>(m_suite.root(), arguments, permissions, wrapper);
        ASSERT_TRUE(m_logger->started());
        ASSERT_TRUE(status().waitFor(selected, 20s, from)) << m_logger->output();
    }

    // The shipped converter ahead of the fixture's stand-in, as the README puts it: scripts/bin alone.
    static void useShippedConverter()
    {
        const char* source = std::getenv("VIVOZO_SOURCE_DIR");
        const std::string path =
            std::string(source != nullptr ? source : ".") + "/scripts/bin:" + std::getenv("PATH");
        ::setenv("PATH", path.c_str(), 1);
    }

    // Starts the logger with its wall clock at clock ("@2009-12-18 23:11:00"), which dates what it logs;
    // its monotonic clock stays real, or every timed wait would sleep on.
    void startLoggerAt(const char* clock)
    {
        ::setenv("LD_PRELOAD", kFakeTimeLibrary, 1);
        ::setenv("FAKETIME", clock, 1);
        ::setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
        startLogger();
        ::unsetenv("LD_PRELOAD");
    }

    // The operator console sends; the answers arrive at the test's own listener.
    void command(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "--no-wait");
        ASSERT_TRUE(operatorConsole(arguments)) << arguments.at(1);
    }

    // A status query, answered with the given sentence.
    void expectStatus(const char* answer)
    {
        const std::size_t from = status().count();
        command({"status"});
        EXPECT_TRUE(status().waitFor(answer, 5s, from)) << "status query should answer " << answer;
    }

    void send(const std::vector<std::string>& datagrams, std::uint16_t port = kDataPort)
    {
        for (const std::string& datagram : datagrams)
        {
            ASSERT_TRUE(sendDatagram(port, datagram));
            // Paced like a receiver on the vessel, well inside the socket buffer.
            std::this_thread::sleep_for(200us);
        }
    }

    std::string native(std::string_view written) const { return nativeBelow(m_suite.root(), written); }

    bool fileHolds(const std::string& path, const std::string& content, Millis timeout = 10s) const
    {
        return eventually([&] { return readFile(path) == content; }, timeout);
    }

    // Ends the logger with sentence 24 and returns its exit status.
    std::optional<int> terminate()
    {
        command({"terminate"});
        return m_logger->waitExit(30s);
    }

    TestSuite m_suite;
    std::unique_ptr<StatusListener> m_listener;
    StatusListener& status() { return *m_listener; }
    std::unique_ptr<LoggerProcess> m_logger;
};

} // namespace VivozoTest
