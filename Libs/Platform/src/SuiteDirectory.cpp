// Where the suite keeps its shared data (token file, logging configuration).
#include "Platform/SuiteDirectory.h"

#include "Platform/NativePath.h"

namespace Platform
{

std::string suiteDataDirectory()
{
    return programData() + "\\Hollvik\\" + "zelt\\";
}

} // namespace Platform
