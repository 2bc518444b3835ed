// Reads the logging parameters from the suite database on a thread of its own: a database that another
// process holds must not stop the datagrams, the sentences or the termination. Each result goes back to
// the control as a signal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class CVelmorParameterSource;

// The columns of the parameter row the control uses, as a signal carries them byte for byte.
struct ParameterRow
{
    int32_t loggingSelected;
    char dirValue[300];
    char fileValue[300];
    char intervalValue[10];
};

class CParameterReader
{
public:
    struct Request
    {
        int32_t failureSignal; // the signal that tells of a failed read
        bool reportFailure;    // false: a repeated attempt, whose failure was told before
    };
    // On the reader's thread: the row, or none when it could not be read, and what was asked.
    using Done = std::function<void(const ParameterRow* row, const Request& request)>;

    CParameterReader(std::shared_ptr<CVelmorParameterSource> source, Done done);
    // Waits for no read that another process holds up: such a read ends on its own, unreported.
    ~CParameterReader();
    CParameterReader(const CParameterReader&) = delete;
    CParameterReader& operator=(const CParameterReader&) = delete;

    // Queues a read; reads run one after the other in the order asked. Requests close together are one
    // read: a request like one still waiting to begin is merged into it, and a read under way when a
    // request like it comes tells nothing, the next read answering both.
    void request(const Request& request);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
