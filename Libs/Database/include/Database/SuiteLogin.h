// How the suite's processes log in to the suite database.
#pragma once

#include <string>

namespace Database
{

inline constexpr char kSuiteDataSource[] = "ZELTDB";
inline constexpr char kSuiteUser[] = "zeltuser";
inline constexpr char kSuitePassword[] = "vandel7";

// "UID=<user>;PWD=<password>;DSN=<data source>": the ODBC connection text of a login.
inline std::string odbcConnectionText(const std::string& dataSource, const std::string& user,
                                      const std::string& password)
{
    return "UID=" + user + ";PWD=" + password + ";DSN=" + dataSource;
}

// The suite's own login as ODBC connection text.
inline std::string suiteConnectionText()
{
    return odbcConnectionText(kSuiteDataSource, kSuiteUser, kSuitePassword);
}

} // namespace Database
