// The console's view of an rtcmbridge status file: the source, whether it is connected, the frames.
#include "BridgeView.h"

#include "StatusFile.h"

#include "Platform/DecimalText.h"
#include "Platform/NativePath.h"
#include "SuiteProtocol/BridgeSnapshot.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{

namespace Key = BridgeSnapshot;
namespace Common = StatusSnapshot;

const std::string kBridgeIndent(15, ' ');

std::string textOf(const QJsonValue& value)
{
    return value.toString().toStdString();
}

// "2026-12-09T20:15:03.123Z" as "2026-12-09 20:15:03 UTC".
std::string utcText(const QJsonValue& value)
{
    const std::string time = textOf(value);
    return time.size() >= 19 && time[10] == 'T' ? time.substr(0, 10) + " " + time.substr(11, 8) + " UTC"
                                                : time;
}

std::string countOf(const QJsonValue& value, const char* noun)
{
    return Platform::counted(static_cast<std::uint64_t>(std::max(0.0, value.toDouble())), noun);
}

std::string secondsAgo(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s ago", std::max(0.0, seconds));
    return text;
}

std::vector<std::string> bridgeLines(const QJsonObject& status, double nowUnix)
{
    std::vector<std::string> lines{"Bridge         " + textOf(status[Key::kSource]) + " -> " +
                                   textOf(status[Key::kDestination]) + " (pid " +
                                   std::to_string(std::llround(status[Common::kPid].toDouble())) + ")"};
    const std::string reconnects = countOf(status[Key::kReconnects], "reconnect");
    if (status[Key::kConnected].toBool())
        lines.push_back(kBridgeIndent + "connected since " + utcText(status[Key::kSince]) + " (" +
                        textOf(status[Key::kConnection]) + "), " + reconnects);
    else
        lines.push_back(
            kBridgeIndent + "not connected" +
            (status[Key::kSince].isString() ? " since " + utcText(status[Key::kSince]) : "") +
            (status[Key::kNextAttempt].isString() ? ", next try " + utcText(status[Key::kNextAttempt]) : "") +
            ", " + reconnects);
    // The age was taken when the status was written; it has grown since.
    const QJsonValue lastFrame = status[Key::kLastFrame];
    const double sinceWritten = nowUnix - status[Common::kWrittenUnix].toDouble();
    lines.push_back(kBridgeIndent + countOf(status[Key::kFrames], "frame") + ", " +
                    countOf(status[Key::kBadCrcFrames], "bad CRC frame") + ", " +
                    countOf(status[Key::kBytesOutsideFrames], "byte") + " outside frames, last frame " +
                    (lastFrame.isObject()
                         ? secondsAgo(lastFrame[Common::kAgeSeconds].toDouble() + sinceWritten)
                         : "none yet"));
    const QJsonValue error = status[Key::kLastError];
    if (error.isObject())
        lines.push_back(kBridgeIndent + "last error: " + textOf(error[Key::kText]) + " at " +
                        utcText(error[Key::kTime]));
    return lines;
}

} // namespace

StatusView withBridges(StatusView view, const std::vector<std::string>& bridgePaths, double nowUnix)
{
    for (const std::string& written : bridgePaths)
    {
        const std::string path = Platform::nativePath(written);
        const StatusFile bridge = readBridgeStatus(path, nowUnix);
        if (!bridge.problem.empty())
            view.problem += (view.problem.empty() ? "" : "; ") + bridge.problem;
        view.lines.push_back("");
        // A stale status still shows what the bridge last said.
        if (!bridge.object.isEmpty())
            for (std::string& line : bridgeLines(bridge.object, nowUnix))
                view.lines.push_back(std::move(line));
    }
    return view;
}
