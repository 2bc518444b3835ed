// Start-up of the suite database: connect, load the message types and show the version.
#include "RORUVivozo/VelmorStartup.h"

#include "Database/DBoperations.h"
#include "Database/Messages.h"
#include "Database/SuiteLogin.h"
#include "LogTrace/LogTrace.h"
#include "RORUVivozo/VelmorGlobals.h"

void connectSuiteDatabase(LogTrace* trace, const std::string& commandLine)
{
    velmorMessages.setDatabase(&velmorDatabase);
    velmorDatabase.connect(Database::kSuiteDataSource, Database::kSuiteUser, Database::kSuitePassword);
    velmorMessages.loadMessageTypes();
    // From here on a post only queues the message: a busy database never holds up a job.
    velmorMessages.startWriter();

    int versionNumber = -1;
    std::string versionName;
    velmorDatabase.readVersion(versionNumber, versionName);
    if (trace != nullptr)
    {
        trace->Append("DATABASE INFO: ver. %i, proc. %s\n", versionNumber, versionName.c_str());
        trace->Append("argv = [%s]\n", commandLine.c_str());
    }
}
