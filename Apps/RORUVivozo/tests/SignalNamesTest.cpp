// The names the logger's signals show in trace lines, byte for byte.
#include "RORUVivozo/VelmorSignals.h"

#include <gtest/gtest.h>

TEST(SignalName, GivesTheNameOfEveryRowTheLoggerUses)
{
    const CSignalNameEntry rows[] = {
        {50006, "PZELT_6 "},         {50015, "PZELT_15"},
        {50024, "PZELT_24"},         {50160, "PZELT_160"},
        {50161, "PZELT_161"},        {50162, "PZELT_162"},
        {50163, "PZELT_163"},        {52001, "DB_READ_ERROR"},
        {52002, "DB_READ_COMPL"},    {56101, "NEW_FILE_TIMEOUT"},
        {56102, "ERROR_NO_LOGFILE"}, {56103, "WAIT_DATA_TIMEOUT"},
        {52003, "DB_REREAD_ERROR"},  {56104, "RETRY_LOGFILE"},
        {57001, "RAW DATA"},         {60042, "INPUT_FREQ_REPORT"},
        {-1, "_TIMEHANDL"},          {-2, "_TIMEOUT"},
        {-99, "_UNKNOWN"},           {50998, "50998"},
    };
    char buffer[kSignalNameSize];
    for (const auto& row : rows)
    {
        EXPECT_STREQ(FsmSignalName(g_ZeltSignalNames, row.number, buffer), row.name) << row.number;
    }
}
