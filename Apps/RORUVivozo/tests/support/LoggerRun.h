// What the end-to-end tests drive the logger with: the real program as a child process, a listener on
// the status port, a datagram source, the operator console and a stand-in for "makerinex.bat".
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace VivozoTest
{

using Millis = std::chrono::milliseconds;

// Moves this process, and every child it starts afterwards, into a network namespace of its own with
// the loopback interface up, so fixed ports never meet another test's. False (with a reason) when the
// system does not allow it; the tests then rely on running one at a time.
bool isolateNetwork(std::string& reason);

// Polls until the predicate holds or the timeout passes; returns the last result.
template <class Predicate> bool eventually(Predicate predicate, Millis timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        if (predicate())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Millis(20));
    }
}

// Everything that arrives on 127.0.0.1:4002, where the logger sends its sentences.
class StatusListener
{
public:
    StatusListener();
    ~StatusListener();
    StatusListener(const StatusListener&) = delete;
    StatusListener& operator=(const StatusListener&) = delete;

    bool ok() const { return m_socket >= 0; }
    std::vector<std::string> received() const;
    // True once the sentence has arrived at an index at or after from.
    bool waitFor(std::string_view sentence, Millis timeout, std::size_t from = 0) const;
    std::size_t count() const;

private:
    void run();

    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<std::string> m_received;
    std::thread m_thread;
};

// One datagram to host:port (an IPv4 address).
bool sendDatagram(std::uint16_t port, std::string_view bytes, const char* host = "127.0.0.1");

// Splits an RTCM 3 byte stream into its frames (preamble, 10-bit length, payload, CRC), so a capture
// can be replayed one frame per datagram; bytes outside frames are dropped.
std::vector<std::string> rtcmFrames(std::string_view stream);

std::string readFile(const std::string& path);

// The demo capture one frame per datagram, with an antenna descriptor and a date in front, so that a
// file holding them converts.
std::vector<std::string> demoFrames();
std::string joined(const std::vector<std::string>& parts);
// True when text matches pattern character for character, '#' standing for any digit.
bool matchesDigits(const std::string& text, const std::string& pattern);

// Whether the logger may write where file permissions say no: a test run as root otherwise never
// meets an unwritable directory.
enum class Permissions
{
    AsTheTest,
    Obeyed,
};

// A program started as a child with its standard output and error going to a file (under a tracer, when
// traced); killed when it still runs at the end.
class ChildProcess
{
public:
    ChildProcess(std::vector<std::string> command, std::string outputPath, bool traced = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    void signal(int number) const;
    // The exit status once the process has ended normally within the timeout; -1000 - signal when
    // a signal ended it; nothing while it still runs.
    std::optional<int> waitExit(Millis timeout);
    std::string output() const;
    // True once the text occurs in the output at least that often.
    bool waitForOutput(std::string_view text, Millis timeout, std::size_t occurrences = 1) const;
    std::size_t occurrences(std::string_view text) const;

private:
    std::string m_outputPath;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// The built logger, started with the given arguments (under a wrapper such as strace, when given); its
// standard output and error go to a file.
class LoggerProcess : public ChildProcess
{
public:
    LoggerProcess(const std::string& root, const std::vector<std::string>& arguments,
                  Permissions permissions = Permissions::AsTheTest,
                  const std::vector<std::string>& wrapper = {});
};

// A second process (socat) that holds a UDP port on every interface, without SO_REUSEADDR, until the
// object goes.
class PortHolder
{
public:
    explicit PortHolder(std::uint16_t port);
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    // True once the port is taken.
    bool holding() const { return m_holding; }
    void release();

private:
    pid_t m_pid = -1;
    bool m_holding = false;
};

inline constexpr char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

// Holds the logger's engine thread, which runs the jobs, as a debugger holds one thread (the other
// threads go on) until the object goes; failure() says why it could not, empty while it holds.
class EngineHold
{
public:
    explicit EngineHold(pid_t process);
    ~EngineHold();
    const std::string& failure() const { return m_failure; }

private:
    pid_t m_thread = -1;
    std::string m_failure;
};

// The operator console, sending one sentence to the logger's command port; false when it fails.
bool operatorConsole(const std::vector<std::string>& arguments);

// The logger's binary and the console's in the build tree.
std::string loggerBinary();
std::string consoleBinary();

// Writes a "makerinex.bat" into root/bin that appends its arguments as one line to root/makerinex.log,
// and puts root/bin first on this process's PATH. Returns the calls recorded so far with makeRinexCalls.
void installMakeRinexStandIn(const std::string& root);
std::vector<std::string> makeRinexCalls(const std::string& root);

// Native path below the root of a written path such as "C:\rtcm\base.rtcm".
std::string nativeBelow(const std::string& root, std::string_view written);

} // namespace VivozoTest
