// The suite's own services for the control: the process's message poster, the token store and a
// database connection of the parameter reader's own.
#pragma once

#include "RORUVivozo/VelmorServices.h"

class CMessages;
class CGetToken;
class CDBoperations;

class CSuiteMessagePoster : public CVelmorMessagePoster
{
public:
    explicit CSuiteMessagePoster(CMessages& messages) : m_messages(messages) {}
    void post(int number, const std::vector<MessageArgument>& arguments, TextFormed formed) override;
    void setReport(ServiceReport report) override;
    void drain(std::chrono::milliseconds limit) override;

private:
    CMessages& m_messages;
};

class CSuiteTokens : public CVelmorTokens
{
public:
    explicit CSuiteTokens(CGetToken& store) : m_store(store) {}
    std::int32_t integer(const std::string& name) override;
    std::string text(const std::string& name) override;
    void setReport(ServiceReport report) override;

private:
    CGetToken& m_store;
};

// Used by the reader's thread alone, so that a read left behind at the end of the process touches
// nothing that is being taken down.
class CSuiteParameterSource : public CVelmorParameterSource
{
public:
    CSuiteParameterSource();
    ~CSuiteParameterSource() override;
    std::optional<ParameterRow> read() override;

private:
    std::unique_ptr<CDBoperations> m_database;
};
