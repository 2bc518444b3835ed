// The suite's own services for the control.
#include "RORUVivozo/VelmorSuiteServices.h"

#include "Database/DBoperations.h"
#include "Database/GetToken.h"
#include "Database/Messages.h"
#include "Database/SuiteLogin.h"
#include "RORUVivozo/VelmorControl.h"

#include <algorithm>
#include <cstring>

namespace
{

template <std::size_t size> void copyText(char (&target)[size], const std::string& text)
{
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

} // namespace

void CSuiteMessagePoster::post(int number, const std::vector<MessageArgument>& arguments, TextFormed formed)
{
    m_messages.postFormattedArguments(number, arguments, std::move(formed));
}

void CSuiteMessagePoster::setReport(ServiceReport report)
{
    m_messages.setReport(std::move(report));
}

void CSuiteMessagePoster::drain(std::chrono::milliseconds limit)
{
    m_messages.stopWriter(limit);
}

std::int32_t CSuiteTokens::integer(const std::string& name)
{
    return m_store.getTokValueInt(name);
}

std::string CSuiteTokens::text(const std::string& name)
{
    return m_store.getTokValueStr(name);
}

void CSuiteTokens::setReport(ServiceReport report)
{
    m_store.setReport(std::move(report));
}

CSuiteParameterSource::CSuiteParameterSource() = default;

CSuiteParameterSource::~CSuiteParameterSource() = default;

std::optional<ParameterRow> CSuiteParameterSource::read()
{
    if (!m_database || !m_database->isConnected())
    {
        m_database = std::make_unique<CDBoperations>("VelmorParameters");
        m_database->connect(Database::kSuiteDataSource, Database::kSuiteUser, Database::kSuitePassword);
    }
    LoggingParameters parameters;
    if (m_database->readLoggingParameters(kParameterUser, parameters) != 0)
        return std::nullopt;
    ParameterRow row{};
    row.loggingSelected = parameters.logging_selected;
    copyText(row.dirValue, parameters.dir_value);
    copyText(row.fileValue, parameters.file_value);
    copyText(row.intervalValue, parameters.line_interval_value);
    return row;
}
