// What the end-to-end tests drive the logger with: the real program as a child process, a listener on
// the status port, a datagram source, the operator console and a stand-in for "makerinex.bat".
#include "support/LoggerRun.h"

#include "Captures/CaptureFile.h"
#include "Rtcm3/FrameSplit.h"
#include "Rtcm3/FrameWriter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

extern char** environ;

namespace VivozoTest
{
namespace
{

constexpr std::uint16_t kStatusPort = 4002;

std::string environmentValue(const char* name, const char* fallback = "")
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

std::vector<char*> argumentVector(std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (std::string& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

void endChild(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    pid = -1;
}

// True while some socket of this network namespace is bound to the UDP port.
bool udpPortBound(std::uint16_t port)
{
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::istringstream table(readFile("/proc/self/net/udp"));
    std::string line;
    std::getline(table, line); // header
    while (std::getline(table, line))
    {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if (local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0)
            return true;
    }
    return false;
}

// Runs a program with arguments and waits for it; its exit status, or -1.
int runAndWait(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

bool isolateNetwork(std::string& reason)
{
    if (::unshare(CLONE_NEWNET) != 0)
    {
        reason = std::string("unshare: ") + std::strerror(errno);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (!up)
        reason = std::string("loopback up: ") + std::strerror(errno);
    if (fd >= 0)
        ::close(fd);
    return up;
}

StatusListener::StatusListener()
{
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kStatusPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0)
    {
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
        return;
    }
    m_thread = std::thread([this] { run(); });
}

StatusListener::~StatusListener()
{
    if (m_thread.joinable())
    {
        const char stop = 1;
        (void)!::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (int fd : {m_socket, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

void StatusListener::run()
{
    for (;;)
    {
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        char buffer[65536];
        const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (got < 0)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.emplace_back(buffer, static_cast<std::size_t>(got));
        m_arrived.notify_all();
    }
}

std::vector<std::string> StatusListener::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::size_t StatusListener::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received.size();
}

bool StatusListener::waitFor(std::string_view sentence, Millis timeout, std::size_t from) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_arrived.wait_for(lock, timeout,
                              [&]
                              {
                                  for (std::size_t i = from; i < m_received.size(); ++i)
                                      if (m_received[i] == sentence)
                                          return true;
                                  return false;
                              });
}

bool sendDatagram(std::uint16_t port, std::string_view bytes, const char* host)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1)
    {
        ::close(fd);
        return false;
    }
    const ssize_t sent =
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(fd);
    return sent == static_cast<ssize_t>(bytes.size());
}

std::vector<std::string> rtcmFrames(std::string_view stream)
{
    std::vector<std::string> frames;
    Rtcm3::forEachFrame(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                        [&](std::size_t at, std::size_t size, int)
                        {
                            frames.emplace_back(stream.substr(at, size));
                            return true;
                        });
    return frames;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace
{

std::vector<std::string> loggerCommand(const std::vector<std::string>& arguments, Permissions permissions,
                                       const std::vector<std::string>& wrapper)
{
    std::vector<std::string> command;
    // Root stays root (and owner of the suite's files) but loses the capability to override them.
    if (permissions == Permissions::Obeyed && ::geteuid() == 0)
        command = {"/usr/bin/setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"};
    command.insert(command.end(), wrapper.begin(), wrapper.end());
    command.push_back(loggerBinary());
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

} // namespace

LoggerProcess::LoggerProcess(const std::string& root, const std::vector<std::string>& arguments,
                             Permissions permissions, const std::vector<std::string>& wrapper)
    // One file per run: a second logger in the same suite starts it afresh.
    : ChildProcess(loggerCommand(arguments, permissions, wrapper), root + "/logger-output.txt",
                   !wrapper.empty())
{
}

ChildProcess::ChildProcess(std::vector<std::string> command, std::string outputPath, bool traced)
    : m_outputPath(std::move(outputPath))
{
    std::vector<char*> argv = argumentVector(command);
    // A sanitizer build's runtime in the child: LeakSanitizer can not work under a tracer, and a
    // preloaded library (libfaketime) comes before the AddressSanitizer runtime.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
    {
        environment.emplace_back(*entry);
        if (environment.back().rfind("ASAN_OPTIONS=", 0) != 0)
            continue;
        if (traced)
            environment.back() += ":detect_leaks=0";
        if (std::getenv("LD_PRELOAD") != nullptr)
            environment.back() += ":verify_asan_link_order=0";
    }
    std::vector<char*> childEnvironment = argumentVector(environment);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, m_outputPath.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), childEnvironment.data()) != 0)
        m_pid = -1;
    ::posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status)
    {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

void ChildProcess::signal(int number) const
{
    if (m_pid > 0)
        ::kill(m_pid, number);
}

std::optional<int> ChildProcess::waitExit(Millis timeout)
{
    if (m_status || m_pid <= 0)
        return m_status;
    eventually(
        [&]
        {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
                return false;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status);
            return true;
        },
        timeout);
    return m_status;
}

std::string ChildProcess::output() const
{
    return readFile(m_outputPath);
}

std::size_t ChildProcess::occurrences(std::string_view text) const
{
    const std::string all = output();
    std::size_t found = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++found;
    return found;
}

bool ChildProcess::waitForOutput(std::string_view text, Millis timeout, std::size_t occurrencesWanted) const
{
    return eventually([&] { return occurrences(text) >= occurrencesWanted; }, timeout);
}

PortHolder::PortHolder(std::uint16_t port)
{
    std::vector<std::string> command{"socat", "-u", "UDP4-RECV:" + std::to_string(port), "/dev/null"};
    std::vector<char*> argv = argumentVector(command);
    if (::posix_spawnp(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    {
        m_pid = -1;
        return;
    }
    m_holding = eventually([&] { return udpPortBound(port); }, Millis(5000));
}

PortHolder::~PortHolder()
{
    release();
}

void PortHolder::release()
{
    endChild(m_pid);
    m_holding = false;
}

bool operatorConsole(const std::vector<std::string>& arguments)
{
    std::vector<std::string> command{consoleBinary()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runAndWait(command) == 0;
}

std::string loggerBinary()
{
    return environmentValue("VIVOZO_BINARY_DIR", ".") + "/Apps/RORUVivozo/RORUVivozo";
}

std::string consoleBinary()
{
    return environmentValue("VIVOZO_BINARY_DIR", ".") + "/Apps/zeltconsole/zeltconsole";
}

void installMakeRinexStandIn(const std::string& root)
{
    const std::string bin = root + "/bin";
    ::mkdir(bin.c_str(), 0755);
    const std::string script = bin + "/makerinex.bat";
    std::ofstream(script) << "#!/bin/sh\n"
                          << "# Stand-in for the converter: records how it was called.\n"
                          << "printf '%s\\n' \"$*\" >> '" << root << "/makerinex.log'\n";
    ::chmod(script.c_str(), 0755);
    const std::string path = bin + ":" + environmentValue("PATH", "/usr/bin:/bin");
    ::setenv("PATH", path.c_str(), 1);
}

std::vector<std::string> makeRinexCalls(const std::string& root)
{
    std::vector<std::string> calls;
    std::istringstream lines(readFile(root + "/makerinex.log"));
    for (std::string line; std::getline(lines, line);)
        calls.push_back(line);
    return calls;
}

std::vector<std::string> demoFrames()
{
    std::vector<std::string> frames = rtcmFrames(readFile(VivozoCaptures::captureFile("testglo.rtcm3")));
    // The capture's own day (2009-12-18) and antenna.
    const auto antenna = Rtcm3::antennaDescriptorFrame(1033, 0, "TRM41249.00     NONE");
    const auto date = Rtcm3::systemParametersFrame(0, 55183, 83205, 15);
    frames.insert(frames.begin(),
                  {std::string(date.begin(), date.end()), std::string(antenna.begin(), antenna.end())});
    return frames;
}

std::string joined(const std::vector<std::string>& parts)
{
    return std::accumulate(parts.begin(), parts.end(), std::string());
}

bool matchesDigits(const std::string& text, const std::string& pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '#' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i])
            return false;
    return true;
}

std::string nativeBelow(const std::string& root, std::string_view written)
{
    std::string native = root + "/";
    if (written.size() >= 2 && written[1] == ':')
    {
        native += static_cast<char>(std::tolower(static_cast<unsigned char>(written[0])));
        written.remove_prefix(2);
    }
    for (char c : written)
        native += c == '\\' ? '/' : c;
    return native;
}

EngineHold::EngineHold(pid_t process)
{
    // The first: a thread the engine starts bears its name until it names itself.
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(process) + "/task"))
        if (const pid_t id = std::stoi(task.path().filename());
            readFile(task.path() / "comm") == "engine\n" && (m_thread < 0 || id < m_thread))
            m_thread = id;
    int stopped = 0;
    if (m_thread < 0 || ::ptrace(PTRACE_SEIZE, m_thread, 0, 0) != 0 ||
        ::ptrace(PTRACE_INTERRUPT, m_thread, 0, 0) != 0 || ::waitpid(m_thread, &stopped, __WALL) != m_thread)
        m_failure = m_thread < 0 ? "no engine thread" : std::strerror(errno);
}

EngineHold::~EngineHold()
{
    if (m_thread > 0)
        ::ptrace(PTRACE_DETACH, m_thread, 0, 0);
}

} // namespace VivozoTest
