// Reads one command-line option and its values.
#include "RORUVivozo/ReadArg.h"

#include "Platform/DecimalText.h"

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace
{

constexpr std::size_t maxOptionName = 39;

int faultyFormat(const char* text)
{
    std::cerr << std::endl << text << std::endl;
    return 0;
}

} // namespace

int ReadArg(int argc, char* argv[], const char* format, ...)
{
    const char* dash = std::strchr(format, '-');
    if (dash == nullptr)
        return faultyFormat("\nReadArg: Missing '-' in call argument.");

    std::size_t nameLength = std::strcspn(dash, " ");
    if (nameLength > maxOptionName)
        nameLength = maxOptionName;
    const std::string name(dash, nameLength);

    int match = 0;
    for (int i = 1; i < argc && match == 0; ++i)
    {
        if (name == argv[i])
            match = i;
    }
    if (match == 0)
        return 1;

    std::va_list destinations;
    va_start(destinations, format);
    int argument = match;
    int result = 2;
    for (const char* p = dash + nameLength; *p != '\0' && result == 2; ++p)
    {
        if (*p != '%')
            continue;
        ++argument;
        const char letter = *++p;
        const char* value = argument < argc ? argv[argument] : nullptr;
        if (letter == 's')
        {
            *va_arg(destinations, const char**) = value;
            continue;
        }
        if (std::strchr("cdilx", letter) == nullptr || letter == '\0')
        {
            result = faultyFormat("\nReadArg: Faulty unnamed argument type");
            break;
        }
        if (value == nullptr)
        {
            // A number without its value (the option stands last) is an option error.
            result = 0;
            break;
        }
        switch (letter)
        {
        case 'c':
            *va_arg(destinations, std::int8_t*) = static_cast<std::int8_t>(Platform::clampedInt32(value));
            break;
        case 'd':
            *va_arg(destinations, double*) = std::strtod(value, nullptr);
            break;
        case 'i':
        case 'l':
            *va_arg(destinations, std::int32_t*) = Platform::clampedInt32(value);
            break;
        case 'x':
            *va_arg(destinations, std::int32_t*) =
                static_cast<std::int32_t>(std::strtoul(value, nullptr, 16));
            break;
        }
    }
    va_end(destinations);
    return result;
}
