// What the control uses of the suite: the logging parameter row, the operator-message poster and the
// token store. The entry passes the suite's own; a test may pass its own instead.
#pragma once

#include "Database/MessageFormat.h"
#include "RORUVivozo/VelmorParameterReader.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One finished trace line (begins with "\n\t"), from whichever thread noticed the problem.
using ServiceReport = std::function<void(const std::string& line)>;

class CVelmorMessagePoster
{
public:
    // Takes the text a message is recorded with, once it is formed (on the poster's thread).
    using TextFormed = std::function<void(const std::string& text)>;

    virtual ~CVelmorMessagePoster() = default;
    // Records operator message N with its stored text formatted with the arguments.
    virtual void post(int number, const std::vector<MessageArgument>& arguments, TextFormed formed) = 0;
    template <typename... Args> void postFormatted(int number, const Args&... args)
    {
        post(number, {toMessageArgument(args)...}, {});
    }
    virtual void setReport(ServiceReport report) = 0;
    // Records what is still queued within the limit; later posts are recorded at once.
    virtual void drain(std::chrono::milliseconds limit) = 0;
};

class CVelmorTokens
{
public:
    virtual ~CVelmorTokens() = default;
    // A missing token reads as 0 or as an empty text.
    virtual std::int32_t integer(const std::string& name) = 0;
    virtual std::string text(const std::string& name) = 0;
    virtual void setReport(ServiceReport report) = 0;
};

// Runs on the parameter reader's thread; a read that outlives the control keeps its source alive.
class CVelmorParameterSource
{
public:
    virtual ~CVelmorParameterSource() = default;
    // The row, or none when it could not be read.
    virtual std::optional<ParameterRow> read() = 0;
};

struct VelmorServices
{
    CVelmorMessagePoster& messages;
    CVelmorTokens& tokens;
    std::shared_ptr<CVelmorParameterSource> parameters;
};
