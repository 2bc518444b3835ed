// The suite's message poster, with every message the logger posts counted for its status, and its text
// kept there once formed.
#pragma once

#include "RORUVivozo/VelmorServices.h"
#include "RORUVivozo/VelmorStatus.h"

class CCountedMessages : public CVelmorMessagePoster
{
public:
    CCountedMessages(CVelmorMessagePoster& poster, CLoggerStatus& status) : m_poster(poster), m_status(status)
    {
    }

    void post(int number, const std::vector<MessageArgument>& arguments, TextFormed formed) override
    {
        m_poster.post(
            number, arguments,
            [status = m_status.messagePosted(number), formed = std::move(formed)](const std::string& text)
            {
                status(text);
                if (formed)
                    formed(text);
            });
    }
    void setReport(ServiceReport report) override { m_poster.setReport(std::move(report)); }
    void drain(std::chrono::milliseconds limit) override { m_poster.drain(limit); }

private:
    CVelmorMessagePoster& m_poster;
    CLoggerStatus& m_status;
};
