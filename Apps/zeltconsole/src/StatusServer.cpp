// zeltconsole serve: a small read-only HTTP server on Boost.Beast, one thread, for the status page.
#include "StatusServer.h"

#include "StatusSite.h"

#include "Platform/DecimalText.h"
#include "Platform/NativePath.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <chrono>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>

namespace
{

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// A browser keeps a connection or two; more than this at once is no browser, and is turned away.
constexpr int kMaxConnections = 32;
// A request's header, and a body (only ever refused) that is read and dropped.
constexpr std::uint32_t kHeaderLimit = 16 * 1024;
constexpr std::uint64_t kBodyLimit = 64 * 1024;
// A connection that sends no whole request, or takes no answer, for this long is closed.
constexpr std::chrono::seconds kIdleLimit(30);

// The page adds the server's time to the snapshot's age, so a browser on a clock of its own reads it right.
std::string httpDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

http::response<http::string_body> answerTo(const StatusSite& site,
                                           const http::request<http::string_body>& request)
{
    const bool readOnly = request.method() == http::verb::get || request.method() == http::verb::head;
    const beast::string_view target = request.target();
    const SiteAnswer answer = readOnly ? site.answer(std::string_view(target.data(), target.size()))
                                       : SiteAnswer{405, "text/plain; charset=utf-8", "only GET and HEAD\n"};
    http::response<http::string_body> response{static_cast<http::status>(answer.status), request.version()};
    response.set(http::field::content_type, answer.contentType);
    response.set(http::field::date, httpDate());
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    // Nothing from outside the machine: the page's own script and style, and this server's files.
    response.set("Content-Security-Policy", "default-src 'none'; script-src 'unsafe-inline'; "
                                            "style-src 'unsafe-inline'; img-src 'self'; connect-src 'self'");
    if (answer.status == 405)
        response.set(http::field::allow, "GET, HEAD");
    response.keep_alive(request.keep_alive());
    response.body() = answer.body;
    response.prepare_payload();
    if (request.method() == http::verb::head)
        response.body().clear(); // the length stays that of a GET
    return response;
}

class Session : public std::enable_shared_from_this<Session>
{
public:
    Session(tcp::socket socket, const StatusSite& site, int& connections)
        : m_stream(std::move(socket)), m_site(site), m_connections(connections)
    {
        ++m_connections;
    }
    ~Session() { --m_connections; }

    void read()
    {
        m_parser.emplace();
        m_parser->header_limit(kHeaderLimit);
        m_parser->body_limit(kBodyLimit);
        m_stream.expires_after(kIdleLimit);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code error, std::size_t)
                         { self->onRead(error); });
    }

private:
    void onRead(beast::error_code error)
    {
        // A broken or oversized request gets no answer: the connection is closed.
        if (error)
            return close();
        m_response = answerTo(m_site, m_parser->get());
        m_stream.expires_after(kIdleLimit);
        http::async_write(m_stream, m_response,
                          [self = shared_from_this()](beast::error_code error, std::size_t)
                          { self->onWritten(error); });
    }

    void onWritten(beast::error_code error)
    {
        if (error || !m_response.keep_alive())
            return close();
        read();
    }

    void close()
    {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }

    beast::tcp_stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    http::response<http::string_body> m_response;
    const StatusSite& m_site;
    int& m_connections;
};

class Listener
{
public:
    Listener(asio::io_context& io, const tcp::endpoint& endpoint, const StatusSite& site, int& connections)
        : m_acceptor(io), m_site(site), m_connections(connections)
    {
        m_acceptor.open(endpoint.protocol());
        // A restart takes the port again at once, while the last connections are still in TIME_WAIT.
        m_acceptor.set_option(asio::socket_base::reuse_address(true));
        m_acceptor.bind(endpoint);
        m_acceptor.listen();
    }

    tcp::endpoint endpoint() const { return m_acceptor.local_endpoint(); }

    void accept()
    {
        m_acceptor.async_accept(
            [this](beast::error_code error, tcp::socket socket)
            {
                if (error == asio::error::operation_aborted)
                    return;
                if (!error && m_connections < kMaxConnections)
                    std::make_shared<Session>(std::move(socket), m_site, m_connections)->read();
                accept();
            });
    }

    void close() { m_acceptor.close(); }

private:
    tcp::acceptor m_acceptor;
    const StatusSite& m_site;
    int& m_connections;
};

// "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:0".
std::optional<tcp::endpoint> endpointOf(const std::string& text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::optional<std::int64_t> port = Platform::wholeDecimal(text.substr(colon + 1), 0, 65535);
    beast::error_code error;
    const asio::ip::address address = asio::ip::make_address(host, error);
    if (!port || error)
        return std::nullopt;
    return tcp::endpoint(address, static_cast<std::uint16_t>(*port));
}

std::string shown(const tcp::endpoint& endpoint)
{
    const std::string host = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + host + "]" : host) + ":" + std::to_string(endpoint.port());
}

} // namespace

int serveStatus(const std::string& listen, const std::string& snapshotPath, const std::string& logFolder,
                const std::vector<std::string>& bridgePaths)
{
    const std::optional<tcp::endpoint> endpoint = endpointOf(listen);
    if (!endpoint)
    {
        std::cerr << "zeltconsole: serve --listen takes ADDR:PORT (e.g. " << kDefaultServeAddress << "), not "
                  << listen << std::endl;
        return 2;
    }
    std::vector<std::string> bridges;
    for (const std::string& path : bridgePaths)
        bridges.push_back(Platform::nativePath(path));
    const StatusSite site(Platform::nativePath(snapshotPath), Platform::nativePath(logFolder), bridges);
    // Outlives the context, whose end destroys the sessions that count themselves here.
    int connections = 0;
    asio::io_context io;
    std::optional<Listener> listener;
    try
    {
        listener.emplace(io, *endpoint, site, connections);
    }
    catch (const boost::system::system_error& e)
    {
        std::cerr << "zeltconsole: cannot listen on " << listen << ": " << e.code().message() << std::endl;
        return 1;
    }
    if (!site.logFolderProblem().empty())
        std::cerr << "zeltconsole: " << site.logFolderProblem() << std::endl;
    std::cout << "zeltconsole: serving the status page at http://" << shown(listener->endpoint())
              << "/ (status snapshot " << site.snapshotPath() << ", log folder "
              << (site.logFolder().empty() ? "none" : site.logFolder());
    for (const std::string& bridge : site.bridgePaths())
        std::cout << ", bridge status " << bridge;
    std::cout << ")" << std::endl;

    asio::signal_set ending(io, SIGINT, SIGTERM);
    ending.async_wait([&](beast::error_code, int) { io.stop(); });
    listener->accept();
    io.run();
    return 0;
}
