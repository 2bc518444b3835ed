// Turns the suite's Windows-style path texts into paths of this machine.
#include "Platform/NativePath.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace Platform
{

std::string environmentOr(const char* name, std::string_view fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string(fallback);
}

void anchorZeltRoot()
{
    const char* root = std::getenv("ZELT_ROOT");
    if (root == nullptr || *root == '\0' || *root == '/')
        return;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(root, error);
    if (!error)
        ::setenv("ZELT_ROOT", absolute.lexically_normal().c_str(), 1);
}

std::string programData()
{
    return environmentOr("ProgramData", "C:\\ProgramData");
}

std::string nativePath(std::string_view text)
{
    std::string native;
    const bool hasDrive =
        text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
    if (hasDrive)
    {
        native = environmentOr("ZELT_ROOT", "");
        native += '/';
        native += static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        text.remove_prefix(2);
        // "C:temp" still lands below the drive folder.
        if (!text.empty() && text.front() != '\\' && text.front() != '/')
            native += '/';
    }
    for (char c : text)
        native += (c == '\\') ? '/' : c;
    return native;
}

} // namespace Platform
