// Standard input, for any other tool that has the stream.
#include "StandardInputSource.h"

#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace asio = boost::asio;

StandardInputSource::StandardInputSource(asio::io_context& io) : m_input(io) {}

asio::awaitable<std::string> StandardInputSource::open()
{
    struct stat input
    {
    };
    if (::fstat(STDIN_FILENO, &input) != 0)
        throw boost::system::system_error(errno, boost::system::system_category());
    // A file can not be waited on (epoll refuses it), and never has to be: it is read straight.
    m_regularFile = S_ISREG(input.st_mode);
    m_fileOpen = m_regularFile;
    if (!m_regularFile)
    {
        const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            throw boost::system::system_error(errno, boost::system::system_category());
        m_input.assign(fd);
    }
    co_return m_regularFile ? "a file" : "a stream";
}

asio::awaitable<std::size_t> StandardInputSource::readSome(asio::mutable_buffer into)
{
    if (!m_regularFile)
        co_return co_await m_input.async_read_some(into, asio::use_awaitable);
    // Between two reads the loop's other work (a stop, the watchdog's beat) gets its turn.
    co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
    if (!m_fileOpen)
        throw boost::system::system_error(asio::error::operation_aborted);
    ssize_t got = -1;
    while ((got = ::read(STDIN_FILENO, into.data(), into.size())) < 0 && errno == EINTR)
    {
    }
    if (got < 0)
        throw boost::system::system_error(errno, boost::system::system_category());
    if (got == 0)
        throw boost::system::system_error(asio::error::eof);
    co_return static_cast<std::size_t>(got);
}

void StandardInputSource::close()
{
    boost::system::error_code ignored;
    m_input.close(ignored);
    m_fileOpen = false;
}
