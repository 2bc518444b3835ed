// Reading the operator sentences that arrive on the command port, and the texts the logger sends back.
#include "SuiteProtocol/Sentence.h"

#include "Platform/DecimalText.h"
#include "Platform/TextFields.h"
#include "Udp/UdpSender.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <limits>
#include <stdexcept>

namespace SuiteProtocol
{
namespace
{

// Enough of a datagram to recognise it in the trace without flooding it.
constexpr std::size_t kShownBytes = 48;

enum class IntResult
{
    Ok,
    NoDigits,   // no decimal number after optional white space and sign
    OutOfRange, // the number does not fit a signed 32-bit integer
};

// Base-10 conversion like the standard text-to-int: skips leading white space, reads an optional sign
// and the digits, and stops at the first other character.
IntResult toInt32(std::string_view text, std::int32_t& value)
{
    const Platform::DecimalPrefix read = Platform::readDecimalPrefix(text);
    if (!read.hasDigits)
        return IntResult::NoDigits;
    if (read.value < std::numeric_limits<std::int32_t>::min() ||
        read.value > std::numeric_limits<std::int32_t>::max())
        return IntResult::OutOfRange;
    value = static_cast<std::int32_t>(read.value);
    return IntResult::Ok;
}

} // namespace

std::string sentenceText(int number)
{
    return std::string(kSentenceAddress) + "," + std::to_string(number) + std::string(kSentenceEnd);
}

std::string startSentence(std::string_view directory, std::string_view fileName, std::string_view interval,
                          std::int32_t dataPort)
{
    std::string text(kSentenceAddress);
    text += "," + std::to_string(kSentenceStart) + ",";
    text += directory;
    text += ",";
    text += fileName;
    text += ",";
    text += interval;
    text += "," + std::to_string(dataPort);
    text += kSentenceEnd;
    return text;
}

std::string startSentence(std::string_view directory, std::string_view fileName, std::int32_t intervalMinutes,
                          std::int32_t dataPort)
{
    return startSentence(directory, fileName, std::to_string(intervalMinutes), dataPort);
}

ParsedSentence parseSentence(const char* data, std::size_t count, std::span<const std::int32_t> reserved)
{
    ParsedSentence result;
    const std::string_view bytes(data, data == nullptr ? 0 : count);
    const std::string_view text = bytes.substr(0, bytes.find('\0'));

    if (text.substr(0, kSentenceAddress.size()) != kSentenceAddress)
    {
        result.drop = SentenceDrop::NotASentence;
        return result;
    }
    const std::vector<std::string> fields = Platform::splitFields(text, ',');
    if (fields.size() < 2)
    {
        result.drop = SentenceDrop::NoNumber;
        return result;
    }
    if (fields[0] != kSentenceAddress)
    {
        result.drop = SentenceDrop::NotASentence;
        return result;
    }

    std::int32_t number = 0;
    switch (toInt32(fields[1], number))
    {
    case IntResult::NoDigits:
        result.drop = SentenceDrop::NoNumber;
        return result;
    case IntResult::OutOfRange:
        result.drop = SentenceDrop::NumberOutOfRange;
        return result;
    case IntResult::Ok:
        break;
    }
    const std::int64_t signal = static_cast<std::int64_t>(kSentenceSignalBase) + number;
    if (signal > std::numeric_limits<std::int32_t>::max())
    {
        result.drop = SentenceDrop::NumberOutOfRange;
        return result;
    }
    if (std::find(reserved.begin(), reserved.end(), signal) != reserved.end())
    {
        result.drop = SentenceDrop::ReservedNumber;
        return result;
    }
    result.signal = static_cast<std::int32_t>(signal);
    return result;
}

const char* sentenceDropReason(SentenceDrop drop)
{
    switch (drop)
    {
    case SentenceDrop::None:
        return "accepted";
    case SentenceDrop::NotASentence:
        return "not a $PZELT sentence";
    case SentenceDrop::NoNumber:
        return "no sentence number";
    case SentenceDrop::NumberOutOfRange:
        return "sentence number out of range";
    case SentenceDrop::ReservedNumber:
        return "sentence number of an internal signal";
    }
    return "unknown";
}

std::string escapeBytes(std::string_view bytes, std::size_t maxBytes)
{
    std::string text;
    const std::size_t shown = std::min(bytes.size(), maxBytes);
    for (std::size_t i = 0; i < shown; ++i)
    {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (c)
        {
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            if (c >= 0x20 && c < 0x7f)
            {
                text += static_cast<char>(c);
            }
            else
            {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                text += hex;
            }
        }
    }
    if (shown < bytes.size())
        text += "...";
    return text;
}

std::string sentenceDropTrace(SentenceDrop drop, const char* data, std::size_t count)
{
    std::string line = "\n\tWARNING: command datagram dropped (";
    line += sentenceDropReason(drop);
    line += "), " + std::to_string(count) + " bytes: ";
    line += escapeBytes(std::string_view(data, data == nullptr ? 0 : count), kShownBytes);
    return line;
}

bool sendSentence(const std::shared_ptr<boost::asio::io_context>& io, const char* data, std::size_t count,
                  const std::string& destination)
{
    if (data == nullptr || count == 0)
        return false;
    // A job must go on after a failed send: the operator only misses one status sentence.
    try
    {
        if (!io)
            throw std::invalid_argument("no event loop");
        Udp::UdpSender sender(io);
        sender.Send(std::string(data, count), destination);
        return true;
    }
    catch (const std::exception& e)
    {
        std::cerr << "sendSentence to " << destination << ": " << e.what() << std::endl;
    }
    return false;
}

} // namespace SuiteProtocol
