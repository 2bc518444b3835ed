// zeltconsole: the operator's stand-in. Sends one sentence to the logger's command port and prints the
// sentences that come back on the status port.
#include "ConsoleCommand.h"

#include "Udp/Sentence.h"
#include "Udp/UdpReceiver.h"
#include "Udp/UdpSender.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/system/system_error.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

namespace
{

enum ExitStatus
{
    kAnswered = 0,
    kTimedOut = 1,
    kBadUsage = 2,
    kSocketError = 3,
};

class Answers
{
public:
    void add(const char* data, std::uint64_t count)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.emplace_back(data, count);
        m_arrived.notify_one();
    }

    // Next answer, or false when none arrives within the time.
    bool next(std::chrono::milliseconds within, std::string& answer)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        if (!m_arrived.wait_for(guard, within, [this] { return !m_queue.empty(); }))
            return false;
        answer = std::move(m_queue.front());
        m_queue.pop_front();
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<std::string> m_queue;
};

std::string printable(std::string_view sentence)
{
    if (sentence.size() >= Udp::kSentenceEnd.size() &&
        sentence.substr(sentence.size() - Udp::kSentenceEnd.size()) == Udp::kSentenceEnd)
        sentence.remove_suffix(Udp::kSentenceEnd.size());
    return Udp::escapeBytes(sentence, sentence.size());
}

int run(const ConsoleCommand& command)
{
    auto io = std::make_shared<boost::asio::io_context>();
    auto work = boost::asio::make_work_guard(*io);
    Answers answers;
    std::unique_ptr<Udp::UdpReceiver> listener;
    try
    {
        // Listen before sending, so that a fast answer is not missed.
        if (command.wait)
        {
            listener = std::make_unique<Udp::UdpReceiver>(*io);
            listener->SetDataCallback([&answers](const char* data, std::uint64_t count)
                                      { answers.add(data, count); });
            listener->Start(command.listenPort);
        }
    }
    catch (const boost::system::system_error& e)
    {
        std::cerr << "zeltconsole: cannot listen on port " << command.listenPort << ": " << e.what()
                  << std::endl;
        return kSocketError;
    }
    std::thread ioThread([io] { io->run(); });

    int status = kTimedOut;
    try
    {
        Udp::UdpSender sender(io);
        sender.Send(command.sentence, command.host + ":" + std::to_string(command.port));
    }
    catch (const std::exception& e)
    {
        std::cerr << "zeltconsole: cannot send to " << command.host << ":" << command.port << ": " << e.what()
                  << std::endl;
        status = kSocketError;
    }

    if (status != kSocketError)
    {
        if (!command.wait)
        {
            status = kAnswered;
        }
        else
        {
            std::chrono::milliseconds within(command.timeoutMs);
            std::string answer;
            while (answers.next(within, answer))
            {
                std::cout << printable(answer) << std::endl;
                status = kAnswered;
                within = std::chrono::milliseconds(command.quietMs);
            }
            if (status == kTimedOut)
                std::cerr << "zeltconsole: no answer within " << command.timeoutMs << " ms" << std::endl;
        }
    }

    listener.reset();
    // Let the send complete before the loop ends.
    work.reset();
    ioThread.join();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    ConsoleCommand command;
    std::string error;
    if (!parseConsoleCommand(args, command, error))
    {
        std::cerr << "zeltconsole: " << error << "\n(zeltconsole --help explains the commands)" << std::endl;
        return kBadUsage;
    }
    if (command.help)
    {
        std::cout << consoleUsage();
        return 0;
    }
    return run(command);
}
