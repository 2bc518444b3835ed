// The parameter reader's thread, with a database connection of its own that it alone uses, so that a
// read left behind at the end of the process touches nothing that is being taken down.
#include "RORUVivozo/VelmorParameterReader.h"

#include "Database/DBoperations.h"
#include "Database/SuiteLogin.h"
#include "RORUVivozo/VelmorControl.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{

template <std::size_t size> void copyText(char (&target)[size], const std::string& text)
{
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

} // namespace

struct CParameterReader::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Request> requests;
    bool closed = false;
    bool reading = false;
    Done done;
    std::unique_ptr<CDBoperations> database;
};

CParameterReader::CParameterReader(Done done) : m_shared(std::make_shared<Shared>())
{
    m_shared->done = std::move(done);
    m_thread = std::thread(&CParameterReader::run, m_shared);
}

CParameterReader::~CParameterReader()
{
    bool reading = false;
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->closed = true;
        m_shared->done = nullptr;
        reading = m_shared->reading;
    }
    m_shared->changed.notify_all();
    if (reading)
        m_thread.detach();
    else
        m_thread.join();
}

void CParameterReader::request(const Request& request)
{
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->requests.push_back(request);
    }
    m_shared->changed.notify_one();
}

ParameterRow CParameterReader::rowOf(const LoggingParameters& parameters)
{
    ParameterRow row{};
    row.loggingSelected = parameters.logging_selected;
    copyText(row.dirValue, parameters.dir_value);
    copyText(row.fileValue, parameters.file_value);
    copyText(row.intervalValue, parameters.line_interval_value);
    return row;
}

void CParameterReader::run(const std::shared_ptr<Shared>& shared)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;)
    {
        shared->changed.wait(lock, [&] { return shared->closed || !shared->requests.empty(); });
        if (shared->closed)
            return;
        const Request request = shared->requests.front();
        shared->requests.pop_front();
        shared->reading = true;
        lock.unlock();

        if (!shared->database || !shared->database->isConnected())
        {
            shared->database = std::make_unique<CDBoperations>("VelmorParameters");
            shared->database->connect(Database::kSuiteDataSource, Database::kSuiteUser,
                                      Database::kSuitePassword);
        }
        LoggingParameters parameters;
        const bool read = shared->database->readLoggingParameters(kParameterUser, parameters) == 0;
        const ParameterRow row = read ? rowOf(parameters) : ParameterRow{};

        lock.lock();
        shared->reading = false;
        // Under the lock: once the owner has gone, nothing more is told.
        if (shared->done)
            shared->done(read ? &row : nullptr, request);
    }
}
