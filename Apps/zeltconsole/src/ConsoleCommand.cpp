// Turns the operator console's arguments into the sentence to send and the ports to use.
#include "ConsoleCommand.h"

#include "StatusServer.h"

#include "Platform/DecimalText.h"
#include "Platform/NativePath.h"
#include "SuiteProtocol/ChannelDirectory.h"
#include "SuiteProtocol/Sentence.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <charconv>
#include <map>
#include <optional>

namespace
{

bool toNumber(const std::string& text, long long low, long long high, long long& value)
{
    const std::optional<std::int64_t> number = Platform::wholeDecimal(text, low, high);
    if (number)
        value = *number;
    return number.has_value();
}

// \n, \r, \t, \\ and \xHH, so that a raw sentence can carry its line end and any byte.
bool decodeEscapes(const std::string& text, std::string& bytes, std::string& error)
{
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\\')
        {
            bytes += text[i];
            continue;
        }
        if (++i == text.size())
        {
            error = "raw: the text ends in a lone backslash";
            return false;
        }
        switch (text[i])
        {
        case 'n':
            bytes += '\n';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 't':
            bytes += '\t';
            break;
        case '\\':
            bytes += '\\';
            break;
        case 'x':
        {
            unsigned value = 0;
            const char* first = text.data() + i + 1;
            const char* limit = text.data() + std::min(text.size(), i + 3);
            const auto [last, ec] = std::from_chars(first, limit, value, 16);
            if (ec != std::errc() || last != limit || limit - first != 2)
            {
                error = "raw: \\x needs two hexadecimal digits";
                return false;
            }
            bytes += static_cast<char>(value);
            i += 2;
            break;
        }
        default:
            error = std::string("raw: unknown escape \\") + text[i];
            return false;
        }
    }
    return true;
}

// A start field must not carry the separator or a line end, or the logger would read other fields.
bool plainField(const std::string& field)
{
    return field.find_first_of(",\n\r") == std::string::npos;
}

bool toPort(const std::string& option, const std::string& value, std::uint16_t& port, std::string& error)
{
    long long number = 0;
    if (!toNumber(value, 1, 65535, number))
    {
        error = option + " takes a port from 1 to 65535, not " + value;
        return false;
    }
    port = static_cast<std::uint16_t>(number);
    return true;
}

// serve reads the snapshot and the reports, and sends nothing to the logger.
bool serveCommand(const std::vector<std::string>& words, const std::string& listen, ConsoleCommand& command,
                  std::string& error)
{
    if (words.size() != 1 || command.once)
    {
        error =
            "serve takes no arguments; give --listen ADDR:PORT, --status PATH, --logs DIR and --bridge PATH";
        return false;
    }
    command.serves = true;
    command.listenAddress = listen.empty() ? kDefaultServeAddress : listen;
    if (command.statusPath.empty())
        command.statusPath = StatusSnapshot::kDefaultPath;
    if (command.logFolder.empty())
        command.logFolder = Platform::suiteRoot();
    return true;
}

} // namespace

bool parseConsoleCommand(const std::vector<std::string>& args, ConsoleCommand& command, std::string& error)
{
    std::vector<std::string> words;
    std::string name;
    std::string listen;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help")
        {
            command.help = true;
            return true;
        }
        if (arg == "--version")
        {
            command.version = true;
            return true;
        }
        if (arg == "--no-wait")
        {
            command.wait = false;
            continue;
        }
        if (arg == "--once")
        {
            command.once = true;
            continue;
        }
        const bool takesValue = arg == "--host" || arg == "--port" || arg == "--name" || arg == "--listen" ||
                                arg == "--timeout" || arg == "--quiet" || arg == "--status" ||
                                arg == "--logs" || arg == "--bridge";
        if (!takesValue)
        {
            if (arg.size() > 1 && arg[0] == '-' && words.empty())
            {
                error = "unknown option " + arg;
                return false;
            }
            words.push_back(arg);
            continue;
        }
        if (i + 1 == args.size())
        {
            error = arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        long long number = 0;
        if (arg == "--host")
        {
            command.host = value;
        }
        else if (arg == "--name")
        {
            name = value;
        }
        else if (arg == "--status")
        {
            command.statusPath = value;
        }
        else if (arg == "--bridge")
        {
            command.bridgePaths.push_back(value);
        }
        else if (arg == "--logs")
        {
            command.logFolder = value;
        }
        else if (arg == "--listen")
        {
            listen = value; // a port, or serve's address: the command decides
        }
        else if (arg == "--port")
        {
            if (!toPort(arg, value, command.port, error))
                return false;
        }
        else
        {
            if (!toNumber(value, 0, 3600000, number))
            {
                error = arg + " takes milliseconds from 0 to 3600000, not " + value;
                return false;
            }
            (arg == "--timeout" ? command.timeoutMs : command.quietMs) = static_cast<int>(number);
        }
    }

    if (!words.empty() && words[0] == "serve")
        return serveCommand(words, listen, command, error);
    if (!command.logFolder.empty())
    {
        error = "--logs belongs to serve";
        return false;
    }
    if (!listen.empty() && !toPort("--listen", listen, command.listenPort, error))
        return false;

    // watch reads a file only, so it needs no port.
    const bool watchOptions = command.once || !command.statusPath.empty() || !command.bridgePaths.empty();
    if (!words.empty() && words[0] == "watch")
    {
        if (words.size() != 1)
        {
            error = "watch takes no arguments; give the snapshot with --status";
            return false;
        }
        if (command.statusPath.empty())
            command.statusPath = StatusSnapshot::kDefaultPath;
        return true;
    }
    if (watchOptions)
    {
        error = "--status and --bridge belong to watch and serve, --once to watch";
        return false;
    }

    if (command.port == 0)
    {
        const std::string channel = SuiteProtocol::commandChannelName(name.empty() ? "RORUVIVOZO" : name);
        command.port = SuiteProtocol::channelPort(channel);
        if (command.port == 0)
        {
            error = "no channel " + channel + " in the channel table; give --port";
            return false;
        }
    }
    if (command.listenPort == 0)
        command.listenPort = SuiteProtocol::kStatusPort;

    if (words.empty())
    {
        error = "no command given";
        return false;
    }
    static const std::map<std::string, int> kPlain{{"stop", SuiteProtocol::kSentenceStop},
                                                   {"status", SuiteProtocol::kSentenceStatus},
                                                   {"reread", SuiteProtocol::kSentenceReread},
                                                   {"terminate", SuiteProtocol::kSentenceTerminate}};
    const std::string& verb = words[0];
    const std::size_t given = words.size() - 1;
    if (const auto plain = kPlain.find(verb); plain != kPlain.end())
    {
        if (given != 0)
        {
            error = verb + " takes no arguments";
            return false;
        }
        command.sentence = SuiteProtocol::sentenceText(plain->second);
        return true;
    }
    if (verb == "start")
    {
        long long minutes = 0;
        long long dataPort = 0;
        if (given != 4)
        {
            error = "start takes four arguments: directory, file name, minutes, data port";
            return false;
        }
        if (!plainField(words[1]) || !plainField(words[2]))
        {
            error = "start: directory and file name may not contain a comma or a line end";
            return false;
        }
        if (!toNumber(words[3], 0, 2147483647, minutes) || !toNumber(words[4], 0, 65535, dataPort))
        {
            error = "start: minutes must be a whole number and the data port one from 0 to 65535";
            return false;
        }
        command.sentence = SuiteProtocol::startSentence(
            words[1], words[2], static_cast<std::int32_t>(minutes), static_cast<std::int32_t>(dataPort));
        command.startDataPort = static_cast<std::int32_t>(dataPort);
        return true;
    }
    if (verb == "raw")
    {
        if (given != 1)
        {
            error = "raw takes one argument: the text to send";
            return false;
        }
        return decodeEscapes(words[1], command.sentence, error);
    }
    error = "unknown command " + verb;
    return false;
}

std::string consoleUsage()
{
    const std::string staleSeconds = std::to_string(static_cast<int>(StatusSnapshot::kStaleAfterSeconds));
    return R"(Usage: zeltconsole [options] <command> [arguments]

Sends one "$PZELT" sentence to the logger's command port and prints every sentence that
arrives on the status port (127.0.0.1:4002) before the timeout; watch shows the logger's
status snapshot instead.

Commands:
  start <directory> <file name> <minutes> <data port>
              Start logging into <directory>\<file name>, a new file every <minutes>,
              from RTCM datagrams on <data port> (sentence 160). While logging, closes
              the current file and starts a new one with these values. The logger
              answers "$PZELT,162,ON" only when the first datagram has opened the file;
              without it within the timeout, says that the start was sent. Directory
              and name may hold the date tokens _TOKY_ _TOKM_ _TOKD_ _TOKH_ _TOKN_
              _TOKS_ (UTC year, month, day, hour, minute, second of the file's opening).
              Example: zeltconsole start 'C:\rtcm\_TOKY__TOKM__TOKD_' 'base__TOKH__TOKN_.rtcm' 60 3011
  stop        Stop logging (sentence 161); answered "$PZELT,162,OFF".
              Example: zeltconsole stop
  status      Ask whether the logger is logging (sentence 15); answered
              "$PZELT,162,ON" or "$PZELT,162,OFF".
              Example: zeltconsole status
  reread      Read the logging parameters from the database again (sentence 6);
              answered with sentence 163 (whether logging is selected at start).
              Example: zeltconsole reread
  terminate   End the logger (sentence 24); answered "$PZELT,162,OFF".
              Example: zeltconsole terminate
  raw <text>  Send <text> exactly; \n, \r, \t, \\ and \xHH stand for those bytes.
              Example: zeltconsole raw '$PZELT,7\n\r'
  watch       Show the logger's status snapshot, redrawn every second: state, current
              file, rate, totals, conversions and operator messages with their texts.
              Says "no data for N s" during an outage, "stuck" when the logger's engine
              has stopped running, and when the snapshot is missing, unreadable or older
              than )" +
           staleSeconds + R"( s (the logger is not running or is stuck), and goes
              on watching; ctrl-C or SIGTERM ends it.
              Example: zeltconsole watch --once
  serve       Serve the logger's state as a page for a browser at http://<address>/,
              refreshed by itself: state, open file, the rate of the last 10 minutes,
              outages, operator messages, the bridges given with --bridge and the last
              closed files with their quality and pictures; also /status.json,
              /files.json and /bridges.json. Read-only: only GET and HEAD, only the
              snapshot, the bridges' status and the reports and pictures the snapshot
              lists below the log folder. Runs until ctrl-C or SIGTERM.
              Example: zeltconsole serve --listen 127.0.0.1:8080

Options:
  --host <host>    Host of the command port (default 127.0.0.1).
  --port <port>    Command port (default: the channel RORUVIVOZO_CMD, 5081).
  --name <name>    Take the command port from the channel <name>_CMD instead.
  --listen <port>  Port on which answers arrive (default 4002).
                   serve: the address to listen on, ADDR:PORT (default )" +
           std::string(kDefaultServeAddress) + R"(, loopback only).
  --timeout <ms>   How long to wait for the first answer (default 3000).
  --quiet <ms>     After an answer, how long to wait for another (default 300).
  --no-wait        Send only; do not listen for answers.
  --status <path>  watch, serve: the snapshot file (default )" +
           std::string(StatusSnapshot::kDefaultPath) + R"(, under $ZELT_ROOT/c).
  --bridge <path>  watch, serve: also show the rtcmbridge whose status file this is
                   (--status of rtcmbridge); may be given once for each bridge.
  --once           watch: show the snapshot once and end.
  --logs <dir>     serve: the folder every served report and picture lies below
                   (default: the suite root, $ZELT_ROOT).
  -h, --help       Show this text.
  --version        Show the version.

Answers are printed one per line, without their line end "\n\r"; other control bytes
are shown as \n, \r, \t or \xHH.

Exit status:
  0  an answer came (with --no-wait, or a start without an answer yet: the sentence was sent);
     watch, serve: ended by ctrl-C or SIGTERM, or with --once a fresh snapshot was shown
  1  no answer before the timeout; watch --once: the snapshot (or a bridge's status) is missing,
     unreadable or stale, or the logger is stuck; serve: the address cannot be listened on
  2  bad usage
  3  the listen port could not be bound, or the sentence could not be sent or was refused
     (nothing listens on the command port)
)";
}
