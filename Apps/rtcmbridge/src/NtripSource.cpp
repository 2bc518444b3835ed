// An NTRIP caster's mountpoint. The request is NTRIP 2.0's, which a 1.0 caster answers in its own way:
// "ICY 200 OK" and the stream, or "SOURCETABLE 200 OK" and its table. Every HTTP answer (2.0, and a
// 1.0 caster's errors) is read by Beast; only the first line is looked at here.
#include "NtripSource.h"

#include "VivozoVersion.h"

#include <QByteArray>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "TcpSources.h"

#include <algorithm>
#include <limits>
#include <sstream>

namespace asio = boost::asio;
namespace http = boost::beast::http;

namespace
{

constexpr std::size_t kLongestStatusLine = 1024;
constexpr std::size_t kLongestSourceTable = 1024 * 1024;
constexpr std::size_t kMountpointsShown = 40;
constexpr char kIcyOk[] = "ICY 200 OK";
constexpr char kSourceTableOk[] = "SOURCETABLE 200 OK";
constexpr char kSourceTableType[] = "gnss/sourcetable";
constexpr char kNtripVersionField[] = "Ntrip-Version";

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return lower;
}

std::string_view view(boost::beast::string_view text)
{
    return {text.data(), text.size()};
}

// A line a caster sent, safe for one line of the journal.
std::string printable(std::string_view text)
{
    std::string shown;
    for (const unsigned char c : text.substr(0, 80))
        shown += c >= ' ' && c < 0x7F ? static_cast<char>(c) : '?';
    return shown + (text.size() > 80 ? "..." : "");
}

// The mountpoints of a source table ("STR;NAME;..." lines), as the journal shows them.
std::string mountpoints(const std::string& table)
{
    std::istringstream lines(table);
    std::string names;
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line);)
    {
        if (!startsWith(line, "STR;"))
            continue;
        if (++count <= kMountpointsShown)
            names += (names.empty() ? "" : ", ") + printable(line.substr(4, line.find(';', 4) - 4));
    }
    if (count == 0)
        return "its source table names none";
    return "it offers " + names +
           (count > kMountpointsShown ? " and " + std::to_string(count - kMountpointsShown) + " more" : "");
}

} // namespace

NtripSource::NtripSource(asio::io_context& io, SourceAddress address, std::optional<GgaPosition> position,
                         std::chrono::seconds positionEvery)
    : m_address(std::move(address)), m_position(position), m_positionEvery(positionEvery), m_socket(io),
      m_positionTimer(io)
{
}

std::string NtripSource::request() const
{
    http::request<http::empty_body> request{http::verb::get, "/" + m_address.mountpoint, 11};
    request.set(http::field::host, m_address.host + ":" + std::to_string(m_address.port));
    request.set(kNtripVersionField, "Ntrip/2.0");
    // Casters admit clients whose agent begins with "NTRIP".
    request.set(http::field::user_agent, "NTRIP rtcmbridge/" VIVOZO_VERSION);
    if (m_address.hasUser)
    {
        const QByteArray credentials = QByteArray::fromStdString(m_address.user + ":" + m_address.password);
        request.set(http::field::authorization, "Basic " + credentials.toBase64().toStdString());
    }
    request.set(http::field::connection, "close");
    std::ostringstream text;
    text << request;
    return text.str();
}

asio::awaitable<std::string> NtripSource::open()
{
    const unsigned connection = ++m_connection;
    m_buffer.clear();
    m_parser.reset();
    co_await connectTo(m_socket, m_address.host, m_address.port);
    const std::string sent = request();
    co_await asio::async_write(m_socket, asio::buffer(sent), asio::use_awaitable);
    if (m_position)
        asio::co_spawn(m_socket.get_executor(), sendPosition(connection), asio::detached);
    std::string head;
    co_await asio::async_read_until(m_socket, asio::dynamic_buffer(head, kLongestStatusLine), "\r\n",
                                    asio::use_awaitable);
    co_return co_await answer(std::move(head));
}

asio::awaitable<std::string> NtripSource::answer(std::string head)
{
    const std::size_t lineEnd = head.find("\r\n");
    const std::string_view line(head.data(), lineEnd);
    if (startsWith(line, kIcyOk))
    {
        const std::string stream = head.substr(lineEnd + 2);
        m_buffer.commit(asio::buffer_copy(m_buffer.prepare(stream.size()), asio::buffer(stream)));
        co_return "NTRIP 1.0";
    }
    // A 1.0 caster's table has an HTTP header and body under another first line.
    const bool legacyTable = startsWith(line, kSourceTableOk);
    if (legacyTable)
        head.replace(0, lineEnd, "HTTP/1.0 200 OK");
    else if (!startsWith(line, "HTTP/"))
        throw SourceFailure("no NTRIP caster: it answered \"" + printable(line) + "\"");
    m_buffer.commit(asio::buffer_copy(m_buffer.prepare(head.size()), asio::buffer(head)));
    m_parser.emplace();
    // A stream has no end. Not boost::none: Boost 1.74 then refuses every body with a Content-Length.
    m_parser->body_limit(std::numeric_limits<std::uint64_t>::max());
    co_await http::async_read_header(m_socket, m_buffer, *m_parser, asio::use_awaitable);

    const auto& response = m_parser->get();
    const unsigned status = response.result_int();
    const std::string statusText =
        "HTTP " + std::to_string(status) + " " + printable(view(response.reason()));
    const std::string type = lowerCase(view(response[http::field::content_type]));
    if (status == 401 || status == 403)
        throw SourceFailure("authentication refused (" + statusText + ")" +
                            (m_address.hasUser ? "" : ": the source names no user"));
    if (legacyTable || status == 404 || (status == 200 && startsWith(type, kSourceTableType)))
    {
        const std::string table = co_await sourceTable();
        throw SourceFailure("unknown mountpoint " + m_address.mountpoint + " (" +
                            (legacyTable ? std::string(kSourceTableOk) : statusText) +
                            "): " + mountpoints(table));
    }
    if (status != 200)
        throw SourceFailure(statusText);
    if (startsWith(type, "text/html"))
        throw SourceFailure("the caster answered a web page (" + statusText +
                            ", text/html), not correction data");
    co_return response.find(kNtripVersionField) != response.end() ? "NTRIP 2.0" : statusText;
}

asio::awaitable<std::string> NtripSource::sourceTable()
{
    std::string table;
    char chunk[4096];
    // To its end, or as much as came before the connection ended: the names are what is shown.
    boost::system::error_code error;
    while (!error && table.size() < kLongestSourceTable)
        table.append(chunk, co_await readBody(asio::buffer(chunk), error));
    co_return table;
}

asio::awaitable<std::size_t> NtripSource::readBody(asio::mutable_buffer into,
                                                   boost::system::error_code& error)
{
    while (!m_parser->is_done())
    {
        auto& body = m_parser->get().body();
        body.data = into.data();
        body.size = into.size();
        co_await http::async_read_some(m_socket, m_buffer, *m_parser,
                                       asio::redirect_error(asio::use_awaitable, error));
        // The body's buffer is full: what the caller asked for.
        if (error == http::error::need_buffer)
            error = {};
        if (error)
            co_return 0;
        // A chunk's header alone gives no byte yet.
        if (const std::size_t got = into.size() - body.size; got > 0)
            co_return got;
    }
    error = asio::error::eof;
    co_return 0;
}

asio::awaitable<std::size_t> NtripSource::readSome(asio::mutable_buffer into)
{
    if (m_parser)
    {
        boost::system::error_code error;
        const std::size_t got = co_await readBody(into, error);
        if (error)
            throw boost::system::system_error(error);
        co_return got;
    }
    if (m_buffer.size() > 0)
    {
        const std::size_t held = asio::buffer_copy(into, m_buffer.data());
        m_buffer.consume(held);
        co_return held;
    }
    co_return co_await m_socket.async_read_some(into, asio::use_awaitable);
}

asio::awaitable<void> NtripSource::sendPosition(unsigned connection)
{
    // Ends with an error once the connection is closed; a newer connection has a sender of its own.
    while (connection == m_connection)
    {
        const std::string sentence = ggaSentence(*m_position, std::chrono::system_clock::now());
        co_await asio::async_write(m_socket, asio::buffer(sentence), asio::use_awaitable);
        m_positionTimer.expires_after(m_positionEvery);
        co_await m_positionTimer.async_wait(asio::use_awaitable);
    }
}

void NtripSource::close()
{
    boost::system::error_code ignored;
    m_socket.close(ignored);
    m_positionTimer.cancel();
}
