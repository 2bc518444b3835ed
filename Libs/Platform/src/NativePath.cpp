// Turns the suite's Windows-style path texts into paths of this machine.
#include "Platform/NativePath.h"

#include "Platform/BeneathRoot.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace Platform
{

constexpr const char* kSuiteRootVariable = "ZELT_ROOT";

std::string environmentOr(const char* name, std::string_view fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string(fallback);
}

std::string suiteRoot()
{
    return environmentOr(kSuiteRootVariable, "");
}

void anchorZeltRoot()
{
    const std::string root = suiteRoot();
    if (root.empty() || root.front() == '/')
        return;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(root, error);
    if (!error)
        ::setenv(kSuiteRootVariable, absolute.lexically_normal().c_str(), 1);
}

std::string anchoredPath(std::string_view text)
{
    const std::string native = nativePath(text);
    if (native.empty() || native.front() == '/' || belowSuiteRoot(text))
        return std::string(text);
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(native, error);
    return error ? std::string(text) : absolute.lexically_normal().string();
}

std::string programData()
{
    return environmentOr("ProgramData", "C:\\ProgramData");
}

std::string nativePath(std::string_view text)
{
    if (const std::optional<std::string> below = belowSuiteRoot(text))
        return suiteRoot() + "/" + *below;
    std::string native(text);
    for (char& c : native)
        if (c == '\\')
            c = '/';
    return native;
}

} // namespace Platform
