// Operator sentences: "$PZELT", a sentence number and comma-separated fields, ending in LF CR, one per
// UDP datagram. Parsing of received sentences, the texts the logger sends, and sending one.
#pragma once

#include <boost/asio/io_context.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace SuiteProtocol
{

inline constexpr std::string_view kSentenceAddress = "$PZELT";
inline constexpr std::string_view kSentenceEnd = "\n\r";

// A received sentence n becomes signal kSentenceSignalBase + n.
inline constexpr std::int32_t kSentenceSignalBase = 50000;

// Numbers of the sentences the logger acts on.
inline constexpr int kSentenceReread = 6;
inline constexpr int kSentenceStatus = 15;
inline constexpr int kSentenceTerminate = 24;
inline constexpr int kSentenceStart = 160;
inline constexpr int kSentenceStop = 161;
// Numbers of the sentences the logger sends.
inline constexpr int kSentenceLoggingState = 162;
inline constexpr int kSentenceLoggingSelected = 163;

// Sent to the status destination; sizes are without a terminating zero.
inline constexpr std::string_view kLoggingOn = "$PZELT,162,ON\n\r";           // 15 bytes
inline constexpr std::string_view kLoggingOff = "$PZELT,162,OFF\n\r";         // 16 bytes
inline constexpr std::string_view kLoggingSelectedOn = "$PZELT,163,ON\n\r";   // 15 bytes
inline constexpr std::string_view kLoggingSelectedOff = "$PZELT,163,OFF\n\r"; // 16 bytes

// What a message poster's notifier sends for each recorded message.
inline constexpr std::string_view kNewMessage = "$PZELT,32\n\r";

// Built by the interrupt and termination handlers for the logger itself (12 bytes).
inline constexpr std::string_view kTerminateSelf = "$PZELT,24,\n\r";

// "$PZELT,<number>\n\r": a sentence without fields (status, stop, re-read, terminate).
std::string sentenceText(int number);

// "$PZELT,160,<directory>,<file name>,<interval>,<data port>\n\r".
std::string startSentence(std::string_view directory, std::string_view fileName, std::int32_t intervalMinutes,
                          std::int32_t dataPort);
// The same with the interval as written where it is stored, so that it is read as an operator's would be.
std::string startSentence(std::string_view directory, std::string_view fileName, std::string_view interval,
                          std::int32_t dataPort);

enum class SentenceDrop
{
    None,
    NotASentence,     // does not begin with the address field "$PZELT"
    NoNumber,         // no second field, or it holds no decimal number
    NumberOutOfRange, // the number or its signal number does not fit 32 bits
    ReservedNumber,   // the signal number is one of the program's own signals
};

struct ParsedSentence
{
    SentenceDrop drop = SentenceDrop::None;
    std::int32_t signal = 0; // kSentenceSignalBase + number, when drop is None

    bool accepted() const { return drop == SentenceDrop::None; }
};

// Reads a datagram from the command port. When accepted, the signal carries all count bytes of the datagram.
// A sentence whose signal number is one of reserved (the receiving program's own signals) is refused, so
// network input can never pose as a datagram to log or a rate report.
ParsedSentence parseSentence(const char* data, std::size_t count, std::span<const std::int32_t> reserved);

// Short reason for a drop, e.g. "not a $PZELT sentence".
const char* sentenceDropReason(SentenceDrop drop);

// The bytes as printable ASCII: \n, \r, \t, \\ and \xHH for the rest; at most maxBytes of them, then "...".
std::string escapeBytes(std::string_view bytes, std::size_t maxBytes);

// Data trace line for a dropped datagram: "\n\tWARNING: command datagram dropped (<reason>), <count> bytes:
// <first bytes, non-printable ones escaped>". Write it through "%s".
std::string sentenceDropTrace(SentenceDrop drop, const char* data, std::size_t count);

// Sends data (count bytes) as one datagram to destination ("host:port") through a UdpSender on io.
// Nothing is sent when there is no payload. Never throws: a failure is written to the standard error stream
// and false returned; true when the send was started.
bool sendSentence(const std::shared_ptr<boost::asio::io_context>& io, const char* data, std::size_t count,
                  const std::string& destination);

} // namespace SuiteProtocol
