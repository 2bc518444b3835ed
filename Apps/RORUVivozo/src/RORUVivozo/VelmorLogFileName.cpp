// How a datagram log file is named: date tokens, the moved-aside name and the paths refused.
#include "RORUVivozo/VelmorLogFileName.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace
{

struct DateToken
{
    const char* token;
    const char* format;
    int digits;
};

// Table order is replacement order.
constexpr DateToken kDateTokens[] = {
    {"_TOKY_", "%Y", 4}, {"_TOKM_", "%m", 2}, {"_TOKD_", "%d", 2},
    {"_TOKH_", "%H", 2}, {"_TOKN_", "%M", 2}, {"_TOKS_", "%S", 2},
};

// Stand in for a token's digits while a name pattern is formed; no path holds them.
constexpr char kFourDigits = '\x02';
constexpr char kTwoDigits = '\x03';

} // namespace

std::string expandDateTokens(std::string_view text, std::time_t now)
{
    std::string expanded(text);
    std::tm utc{};
    if (::gmtime_r(&now, &utc) == nullptr)
        return expanded;
    for (const DateToken& date : kDateTokens)
    {
        char field[16];
        std::strftime(field, sizeof field, date.format, &utc);
        const std::string_view token = date.token;
        for (std::size_t at = expanded.find(token); at != std::string::npos; at = expanded.find(token))
            expanded.replace(at, token.size(), field);
    }
    return expanded;
}

std::string expandDateTokens(std::string_view text)
{
    return expandDateTokens(text, std::time(nullptr));
}

std::string dateTokenPattern(std::string_view text, char suffixMarker)
{
    // Replaced as expandDateTokens replaces them, so the pattern gives exactly the names it would.
    std::string marked(text);
    for (const DateToken& date : kDateTokens)
    {
        const std::string_view token = date.token;
        for (std::size_t at = marked.find(token); at != std::string::npos; at = marked.find(token))
            marked.replace(at, token.size(), 1, date.digits == 4 ? kFourDigits : kTwoDigits);
    }
    std::string pattern;
    for (const char c : marked)
    {
        if (c == kFourDigits || c == kTwoDigits)
            pattern += c == kFourDigits ? "[0-9]{4}" : "[0-9]{2}";
        else if (suffixMarker != '\0' && c == suffixMarker)
            pattern += "(_[0-9]{12}(?:_[0-9]+)?|0000000000)?";
        else
        {
            if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos)
                pattern += '\\';
            pattern += c;
        }
    }
    return pattern;
}

bool holdsDateToken(std::string_view text)
{
    return std::any_of(std::begin(kDateTokens), std::end(kDateTokens),
                       [&](const DateToken& date)
                       { return text.find(date.token) != std::string_view::npos; });
}

bool holdsParentComponent(std::string_view path)
{
    std::size_t start = 0;
    while (start <= path.size())
    {
        std::size_t end = path.find_first_of(":\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return false;
}

std::string movedAsideSuffix(std::time_t now)
{
    std::tm local{};
    char suffix[32];
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &local) == nullptr ||
        std::strftime(suffix, sizeof suffix, "_%y%m%d%H%M%S", &local) == 0)
        return "0000000000";
    return suffix;
}

std::string movedAsideName(std::string_view path, std::string_view suffix, int counter, std::size_t nameLimit)
{
    std::string tag(suffix);
    if (counter > 0)
        tag += "_" + std::to_string(counter);

    // Only the file name takes the suffix: a directory's name may hold ".rtcm" too. Without a ".rtcm" to
    // put it in place of, it goes before the file name's last extension, so the existing file is still
    // kept under a name of its own.
    const std::size_t separator = path.find_last_of(":\\/");
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    std::string_view base = path, rest, extension;
    if (const std::size_t at = path.find(kLogFileExtension, nameStart); at != std::string_view::npos)
    {
        base = path.substr(0, at);
        rest = path.substr(at + kLogFileExtension.size());
        extension = kLogFileExtension;
    }
    else if (const std::size_t dot = path.rfind('.'); dot != std::string_view::npos && dot > nameStart)
    {
        base = path.substr(0, dot);
        rest = path.substr(dot);
    }
    const std::size_t length = base.size() - nameStart + tag.size() + rest.size() + extension.size();
    if (length > nameLimit)
    {
        std::size_t keep = base.size() - std::min(length - nameLimit, base.size() - nameStart);
        while (keep > nameStart &&
               (static_cast<unsigned char>(path[keep]) & 0xC0) == 0x80) // UTF-8 continuation
            --keep;
        base = base.substr(0, keep);
    }
    std::string name(base);
    return name.append(tag).append(rest).append(extension);
}
