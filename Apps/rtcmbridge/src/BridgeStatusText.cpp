// The bridge's state as the service manager's status line and as the JSON status file.
#include "BridgeStatusText.h"

#include "Platform/DecimalText.h"
#include "Platform/UtcText.h"
#include "SuiteProtocol/BridgeSnapshot.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

namespace
{

namespace Key = BridgeSnapshot;
using Clock = BridgeState::Clock;

QJsonValue timeValue(const std::optional<Clock::time_point>& at)
{
    return at ? QJsonValue(QString::fromStdString(Platform::isoUtcMillis(*at))) : QJsonValue();
}

QJsonValue number(std::uint64_t value)
{
    return static_cast<qint64>(value);
}

long long secondsUntil(Clock::time_point from, Clock::time_point to)
{
    return std::llround(std::max(0.0, std::chrono::duration<double>(to - from).count()));
}

} // namespace

std::string bridgeStatusLine(const BridgeState& state)
{
    std::string line;
    if (state.connected)
        line = "connected to " + state.source + " (" + state.connection + ")";
    else if (state.nextAttempt)
        line = "not connected to " + state.source + ": " + state.lastError + "; next try in " +
               std::to_string(secondsUntil(state.taken, *state.nextAttempt)) + " s";
    else
        line = "connecting to " + state.source;
    line += ": " + Platform::counted(state.datagramsSent, "frame") + " sent";
    if (state.frames.badCrcFrames != 0)
        line += ", " + Platform::counted(state.frames.badCrcFrames, "bad CRC frame");
    if (state.lastFrame)
    {
        char age[32];
        std::snprintf(age, sizeof age, ", last %.1f s ago",
                      std::chrono::duration<double>(state.taken - *state.lastFrame).count());
        line += age;
    }
    // One line: a control character from a caster's answer would start another assignment.
    for (char& c : line)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
            c = '?';
    return line;
}

std::string bridgeStatusJson(const BridgeState& state, const std::string& line, pid_t pid)
{
    namespace Common = StatusSnapshot;
    const QJsonObject document{
        {Common::kProgram, Key::kProgram},
        {Common::kPid, static_cast<qint64>(pid)},
        {Common::kWritten, timeValue(state.taken)},
        {Common::kWrittenUnix, std::chrono::duration<double>(state.taken.time_since_epoch()).count()},
        {Common::kStarted, timeValue(state.started)},
        {Common::kStatus, QString::fromStdString(line)},
        {Key::kSource, QString::fromStdString(state.source)},
        {Key::kDestination, QString::fromStdString(state.destination)},
        {Key::kConnected, state.connected},
        {Key::kSince, timeValue(state.since)},
        {Key::kConnection,
         state.connected ? QJsonValue(QString::fromStdString(state.connection)) : QJsonValue()},
        {Key::kNextAttempt, timeValue(state.nextAttempt)},
        {Key::kBytes, number(state.bytes)},
        {Key::kFrames, number(state.frames.frames)},
        {Key::kBadCrcFrames, number(state.frames.badCrcFrames)},
        {Key::kBytesOutsideFrames, number(state.frames.bytesOutside)},
        {Key::kDatagramsSent, number(state.datagramsSent)},
        {Key::kSendFailures, number(state.sendFailures)},
        {Key::kReconnects, number(state.reconnects)},
        {Key::kLastFrame, state.lastFrame
                              ? QJsonValue(QJsonObject{
                                    {Common::kTime, timeValue(state.lastFrame)},
                                    {Common::kAgeSeconds,
                                     std::chrono::duration<double>(state.taken - *state.lastFrame).count()}})
                              : QJsonValue()},
        {Key::kLastError, state.lastErrorTime
                              ? QJsonValue(QJsonObject{{Key::kText, QString::fromStdString(state.lastError)},
                                                       {Key::kTime, timeValue(state.lastErrorTime)}})
                              : QJsonValue()},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}
