// What the status page's server answers for each path: the page, the logger's snapshot, the bridges'
// status, the quality reports of the last closed files and their pictures, and nothing else.
#pragma once

#include "StatusFile.h"

#include "Platform/UniqueFd.h"

#include <QJsonObject>

#include <string>
#include <string_view>
#include <vector>

struct SiteAnswer
{
    unsigned status = 200;
    std::string contentType;
    std::string body;
};

class StatusSite
{
public:
    // snapshotPath: the logger's status snapshot (native). logFolder: the folder every served report and
    // picture must lie below, native; empty serves none. bridgePaths: the rtcmbridge status files, native.
    StatusSite(std::string snapshotPath, std::string logFolder, std::vector<std::string> bridgePaths = {});

    // What a GET of the request target gets.
    SiteAnswer answer(std::string_view target) const;

    const std::string& snapshotPath() const { return m_snapshotPath; }
    const std::string& logFolder() const { return m_logFolder; }
    const std::vector<std::string>& bridgePaths() const { return m_bridgePaths; }
    // Why no report can be served (no log folder, or one that cannot be opened); empty when they can.
    const std::string& logFolderProblem() const { return m_logFolderProblem; }

private:
    StatusFile readSnapshot() const;
    SiteAnswer snapshot() const;
    SiteAnswer bridges() const;
    SiteAnswer files() const;
    // A recent file's entry with its report, the report's and the picture's addresses, or the problem.
    QJsonObject withReport(QJsonObject entry) const;
    SiteAnswer listedFile(const std::string& relative) const;
    // Where a listed report (or its picture) lies below the log folder; empty when it lies elsewhere.
    std::string belowLogFolder(const QJsonValue& listed) const;
    // Reads a file below the log folder into body; returns the HTTP status and a problem text otherwise.
    unsigned readBelow(const std::string& relative, std::size_t limit, std::string& body) const;

    std::string m_snapshotPath;
    std::string m_logFolder;
    std::vector<std::string> m_bridgePaths;
    std::string m_logFolderProblem;
    Platform::UniqueFd m_logFolderFd;
};
