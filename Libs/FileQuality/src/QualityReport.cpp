// The quality report of one log file: the scan's figures summed up, and its JSON document.
#include "FileQuality/QualityReport.h"

#include "FileQuality/QualityKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <ctime>
#include <map>

namespace FileQuality
{

namespace
{

namespace Key = QualityKeys;

constexpr std::int64_t kGpsEpochUnix = 315964800; // 1980-01-06 00:00:00 UTC
constexpr std::size_t kTimelinePoints = 2000;
constexpr int kGapIntervals = 2; // a stretch longer than this many intervals without an epoch is a gap
// The order in which the summary names the systems.
constexpr int kSummaryOrder[] = {1, 2, 3, 6, 5, 4}; // G R E C J S

// WGS 84.
constexpr double kSemiMajorAxis = 6378137.0;
constexpr double kFlattening = 1.0 / 298.257223563;
constexpr int kGeodeticIterations = 6;
constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;

double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

QString qText(const std::string& text)
{
    return QString::fromStdString(text);
}

QJsonValue optionalText(const std::optional<std::string>& text)
{
    return text ? QJsonValue(qText(*text)) : QJsonValue();
}

// Latitude and longitude in degrees, height in metres, of an Earth-centred Earth-fixed position.
std::array<double, 3> geodetic(const std::array<double, 3>& ecef)
{
    const double e2 = kFlattening * (2.0 - kFlattening);
    const double p = std::hypot(ecef[0], ecef[1]);
    double latitude = std::atan2(ecef[2], p * (1.0 - e2));
    double height = 0.0;
    for (int i = 0; i < kGeodeticIterations; ++i)
    {
        const double sine = std::sin(latitude);
        const double n = kSemiMajorAxis / std::sqrt(1.0 - e2 * sine * sine);
        height = p / std::cos(latitude) - n;
        latitude = std::atan2(ecef[2], p * (1.0 - e2 * n / (n + height)));
    }
    return {latitude * kDegreesPerRadian, std::atan2(ecef[1], ecef[0]) * kDegreesPerRadian, height};
}

double seconds(std::int64_t ms)
{
    return static_cast<double>(ms) / 1000.0;
}

// Every n-th epoch of each stretch between gaps, and the stretch's first and last.
std::vector<std::size_t> timelineOf(const QualityReport& report)
{
    const std::size_t count = report.figures.epochs.size();
    const std::size_t stride = std::max<std::size_t>(1, (count + kTimelinePoints - 1) / kTimelinePoints);
    std::vector<std::size_t> points;
    std::size_t stretchStart = 0;
    std::size_t gap = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const bool stretchEnds =
            i + 1 == count ||
            (gap < report.gaps.size() && report.figures.epochs[i].gpsMs == report.gaps[gap].startMs);
        if ((i - stretchStart) % stride == 0 || stretchEnds)
            points.push_back(i);
        if (stretchEnds)
        {
            stretchStart = i + 1;
            if (gap < report.gaps.size() && report.figures.epochs[i].gpsMs == report.gaps[gap].startMs)
                ++gap;
        }
    }
    return points;
}

double meanPerEpoch(const Rtcm3::QualityFigures& figures, int system)
{
    double total = 0.0;
    for (const Rtcm3::QualityEpoch& epoch : figures.epochs)
        total += epoch.satellites[system];
    return figures.epochs.empty() ? 0.0 : total / static_cast<double>(figures.epochs.size());
}

std::string summaryOf(const QualityReport& report)
{
    const Rtcm3::QualityFigures& figures = report.figures;
    if (figures.epochs.empty())
    {
        std::string stations;
        for (unsigned int station : figures.stationsFound)
            stations += (stations.empty() ? "" : " ") + std::to_string(station);
        return fmt::format("no epoch of station {}; stations found: {}; {} bytes outside frames",
                           figures.station, stations.empty() ? "none" : stations, figures.bytesOutsideFrames);
    }
    std::string text = fmt::format("completeness {:.1f} %,", report.completeness.value_or(0.0) * 100.0);
    for (int system : kSummaryOrder)
    {
        if (figures.distinct[system] != 0)
            text += fmt::format(" {} {:.0f}", systemLetter(system), meanPerEpoch(figures, system));
    }
    text += " satellites, ";
    std::int64_t longest = 0;
    for (const Gap& gap : report.gaps)
        longest = std::max(longest, gap.endMs - gap.startMs);
    if (report.gaps.empty())
        return text + "no gap";
    if (report.gaps.size() == 1)
        return text + fmt::format("1 gap ({:g} s)", seconds(longest));
    return text + fmt::format("{} gaps (longest {:g} s)", report.gaps.size(), seconds(longest));
}

QJsonObject stationJson(const Rtcm3::QualityFigures& figures)
{
    QJsonObject station{{Key::kId, static_cast<qint64>(figures.station)},
                        {Key::kAntenna, optionalText(figures.antenna)},
                        {Key::kReceiver, optionalText(figures.receiver)},
                        {Key::kEcef, QJsonValue()},
                        {Key::kLatitude, QJsonValue()},
                        {Key::kLongitude, QJsonValue()},
                        {Key::kHeight, QJsonValue()}};
    if (figures.positionEcef)
    {
        const std::array<double, 3>& ecef = *figures.positionEcef;
        const std::array<double, 3> place = geodetic(ecef);
        station[Key::kEcef] = QJsonArray{rounded(ecef[0], 4), rounded(ecef[1], 4), rounded(ecef[2], 4)};
        station[Key::kLatitude] = rounded(place[0], 9);
        station[Key::kLongitude] = rounded(place[1], 9);
        station[Key::kHeight] = rounded(place[2], 4);
    }
    return station;
}

} // namespace

std::optional<std::int64_t> mostCommonStep(const std::vector<Rtcm3::QualityEpoch>& epochs)
{
    std::map<std::int64_t, std::size_t> steps;
    for (std::size_t i = 1; i < epochs.size(); ++i)
        ++steps[epochs[i].gpsMs - epochs[i - 1].gpsMs];
    if (steps.empty())
        return std::nullopt;
    return std::max_element(steps.begin(), steps.end(), [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

char systemLetter(int system)
{
    return Rtcm3::msmSystemLetter(static_cast<Rtcm3::MsmSystem>(system));
}

std::string signalCode(int system, int signal)
{
    const char* code = Rtcm3::msmSignalCode(static_cast<Rtcm3::MsmSystem>(system), signal);
    return code != nullptr ? std::string("C") + code : std::string();
}

std::string isoTime(std::int64_t gpsMs)
{
    const std::int64_t wholeMs = gpsMs - ((gpsMs % 1000) + 1000) % 1000;
    const auto unix = static_cast<std::time_t>(wholeMs / 1000 + kGpsEpochUnix);
    std::tm utc{};
    gmtime_r(&unix, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::string iso = text;
    if (const std::int64_t ms = gpsMs - wholeMs; ms != 0)
    {
        iso += fmt::format(".{:03}", ms);
        iso.erase(iso.find_last_not_of('0') + 1);
    }
    return iso + "Z";
}

QualityReport summarize(Rtcm3::QualityFigures figures)
{
    QualityReport report;
    report.figures = std::move(figures);
    const std::vector<Rtcm3::QualityEpoch>& epochs = report.figures.epochs;
    if (!epochs.empty())
    {
        report.intervalMs = mostCommonStep(epochs);
        report.expectedEpochs = 1;
        if (report.intervalMs && *report.intervalMs > 0)
        {
            const std::int64_t interval = *report.intervalMs;
            report.expectedEpochs =
                (epochs.back().gpsMs - epochs.front().gpsMs + interval / 2) / interval + 1;
            for (std::size_t i = 1; i < epochs.size(); ++i)
            {
                if (epochs[i].gpsMs - epochs[i - 1].gpsMs > kGapIntervals * interval)
                    report.gaps.push_back({epochs[i - 1].gpsMs, epochs[i].gpsMs});
            }
        }
        report.completeness =
            std::min(1.0, static_cast<double>(epochs.size()) /
                              static_cast<double>(std::max<std::int64_t>(1, report.expectedEpochs)));
    }
    report.timeline = timelineOf(report);
    report.summary = summaryOf(report);
    return report;
}

std::string reportJson(const QualityReport& report, const ReportNames& names)
{
    const Rtcm3::QualityFigures& figures = report.figures;
    const std::vector<Rtcm3::QualityEpoch>& epochs = figures.epochs;
    const bool timed = figures.dated && !epochs.empty();
    const auto time = [&](std::int64_t ms) { return timed ? QJsonValue(qText(isoTime(ms))) : QJsonValue(); };

    QJsonArray stations;
    for (unsigned int station : figures.stationsFound)
        stations.append(static_cast<qint64>(station));
    QJsonArray gaps;
    for (const Gap& gap : report.gaps)
        gaps.append(QJsonObject{{Key::kStart, time(gap.startMs)},
                                {Key::kEnd, time(gap.endMs)},
                                {Key::kSeconds, seconds(gap.endMs - gap.startMs)}});
    QJsonObject satellites;
    QJsonObject cnr;
    for (int system = 1; system < Rtcm3::kQualitySystems; ++system)
    {
        const QString letter(QChar(systemLetter(system)));
        if (figures.distinct[system] != 0)
            satellites.insert(letter,
                              QJsonObject{{Key::kDistinct, std::popcount(figures.distinct[system])},
                                          {Key::kMeanPerEpoch, rounded(meanPerEpoch(figures, system), 2)}});
        QJsonObject bySignal;
        for (int signal = 1; signal <= Rtcm3::kMsmMaxSignals; ++signal)
        {
            const Rtcm3::CnrSum& sum = figures.cnr[system][signal];
            if (sum.count > 0 && !signalCode(system, signal).empty())
                bySignal.insert(qText(signalCode(system, signal)),
                                rounded(sum.sum / static_cast<double>(sum.count), 1));
        }
        if (!bySignal.isEmpty())
            cnr.insert(letter, bySignal);
    }
    // Rates over the epochs' stretch: from the first to one interval after the last.
    std::optional<double> span;
    if (report.intervalMs)
        span = seconds(epochs.back().gpsMs - epochs.front().gpsMs + *report.intervalMs);
    QJsonObject messages;
    for (const auto& [message, count] : figures.messages)
        messages.insert(
            QString::number(message),
            QJsonObject{{Key::kCount, static_cast<qint64>(count)},
                        {Key::kRate,
                         span ? QJsonValue(rounded(static_cast<double>(count) / *span, 3)) : QJsonValue()}});
    QJsonArray timeline;
    for (std::size_t index : report.timeline)
    {
        QJsonObject point{{Key::kTime, time(epochs[index].gpsMs)}};
        for (int system = 1; system < Rtcm3::kQualitySystems; ++system)
        {
            if (figures.distinct[system] != 0)
                point.insert(QString(QChar(systemLetter(system))), epochs[index].satellites[system]);
        }
        timeline.append(point);
    }

    const QJsonObject document{
        {Key::kFile, qText(names.file)},
        {Key::kRinex, optionalText(names.rinex)},
        {Key::kStation, stationJson(figures)},
        {Key::kStationsFound, stations},
        {Key::kFirstEpoch, epochs.empty() ? QJsonValue() : time(epochs.front().gpsMs)},
        {Key::kLastEpoch, epochs.empty() ? QJsonValue() : time(epochs.back().gpsMs)},
        {Key::kInterval, report.intervalMs ? QJsonValue(seconds(*report.intervalMs)) : QJsonValue()},
        {Key::kEpochs, static_cast<qint64>(epochs.size())},
        {Key::kExpectedEpochs, static_cast<qint64>(report.expectedEpochs)},
        {Key::kCompleteness,
         report.completeness ? QJsonValue(rounded(*report.completeness, 3)) : QJsonValue()},
        {Key::kGaps, gaps},
        {Key::kSatellites, satellites},
        {Key::kCnrMean, cnr},
        {Key::kMessages, messages},
        {Key::kBytes, static_cast<qint64>(figures.bytes)},
        {Key::kBytesOutsideFrames, static_cast<qint64>(figures.bytesOutsideFrames)},
        {Key::kBadCrcFrames, static_cast<qint64>(figures.badCrcFrames)},
        {Key::kTimeline, timeline},
        {Key::kPicture, optionalText(names.picture)},
        {Key::kWhyNoPicture, optionalText(names.whyNoPicture)},
        {Key::kSummary, qText(report.summary)},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace FileQuality
