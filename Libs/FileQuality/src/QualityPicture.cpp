// The gnuplot script of a log file's quality picture, its data inline.
#include "FileQuality/QualityPicture.h"

#include <fmt/format.h>

#include <algorithm>
#include <ctime>

namespace FileQuality
{

namespace
{

constexpr std::int64_t kGpsEpochUnix = 315964800; // 1980-01-06 00:00:00 UTC
constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr std::size_t kMostGapLabels = 12;     // more would hide one another
constexpr std::int64_t kGapPixelsAcross = 300; // the plot is some 900 pixels wide: a gap is 3 at least
constexpr std::int64_t kSecondsInTenMinutes = 600;
constexpr std::int64_t kSecondsInTwoDays = 172800;
constexpr std::int64_t kLoneEpochMarginMs = 30000;
// By system index: G, R, E, S, J, C.
constexpr const char* kColours[] = {"", "#1f77b4", "#d62728", "#2ca02c", "#7f7f7f", "#ff7f0e", "#9467bd"};

std::string unixText(std::int64_t gpsMs)
{
    const std::int64_t ms = gpsMs + kGpsEpochUnix * 1000;
    return ms % 1000 == 0 ? std::to_string(ms / 1000)
                          : fmt::format("{:.3f}", static_cast<double>(ms) / 1000.0);
}

std::string dayOf(std::int64_t gpsMs)
{
    return isoTime(gpsMs).substr(0, 10);
}

std::string titleOf(const QualityReport& report)
{
    const Rtcm3::QualityFigures& figures = report.figures;
    const std::string first = dayOf(figures.epochs.front().gpsMs);
    const std::string last = dayOf(figures.epochs.back().gpsMs);
    const std::string gaps = report.gaps.empty()       ? "no gap"
                             : report.gaps.size() == 1 ? "1 gap"
                                                       : fmt::format("{} gaps", report.gaps.size());
    return fmt::format("Station {}, {}: completeness {:.1f} % ({} of {} epochs), {}", figures.station,
                       first == last ? first : first + " to " + last,
                       report.completeness.value_or(0.0) * 100.0, figures.epochs.size(),
                       report.expectedEpochs, gaps);
}

// One data block: the time, then a column per system present; a blank line ends each stretch before a gap,
// so that no line is drawn across it.
template <class Value>
std::string dataBlock(const QualityReport& report, const char* name, const std::vector<int>& systems,
                      Value value)
{
    const std::vector<Rtcm3::QualityEpoch>& epochs = report.figures.epochs;
    std::string block = fmt::format("${} << EOD\n# seconds since 1970 (GPS time)", name);
    for (int system : systems)
        block += fmt::format(" {}", systemLetter(system));
    block += "\n";
    std::size_t gap = 0;
    for (std::size_t index : report.timeline)
    {
        block += unixText(epochs[index].gpsMs);
        for (int system : systems)
            block += " " + value(epochs[index], system);
        block += "\n";
        if (gap < report.gaps.size() && epochs[index].gpsMs == report.gaps[gap].startMs)
        {
            block += "\n";
            ++gap;
        }
    }
    return block + "EOD\n";
}

std::string plotCommand(const char* block, const std::vector<int>& systems)
{
    std::string plot = "plot";
    for (std::size_t column = 0; column < systems.size(); ++column)
        plot += fmt::format("{} ${} using 1:{} with lines linewidth 2 linecolor rgb \"{}\" title \"{}\"",
                            column == 0 ? "" : ",", block, column + 2, kColours[systems[column]],
                            systemLetter(systems[column]));
    return plot + "\n";
}

} // namespace

std::optional<std::string> pictureScript(const QualityReport& report, std::string& why)
{
    const Rtcm3::QualityFigures& figures = report.figures;
    if (figures.epochs.empty())
    {
        why = fmt::format("no epoch of station {} in the file", figures.station);
        return std::nullopt;
    }
    if (!figures.dated)
    {
        why = "the file's day is not known";
        return std::nullopt;
    }
    std::vector<int> systems;
    bool anyCnr = false;
    for (int system = 1; system < Rtcm3::kQualitySystems; ++system)
    {
        if (figures.distinct[system] == 0)
            continue;
        systems.push_back(system);
        for (const Rtcm3::CnrSum& sum : figures.cnr[system])
            anyCnr = anyCnr || sum.count > 0;
    }
    const std::int64_t first = figures.epochs.front().gpsMs;
    const std::int64_t last = figures.epochs.back().gpsMs;
    const std::int64_t margin = first == last ? kLoneEpochMarginMs : 0;
    const std::int64_t span = (last - first) / 1000;
    const char* format = span < kSecondsInTenMinutes ? "%H:%M:%S"
                         : span < kSecondsInTwoDays  ? "%H:%M"
                                                     : "%m-%d %H:%M";

    std::string script =
        "# The quality picture of a log file: satellites and mean C/N0 per system, gaps shaded.\n";
    script +=
        fmt::format("set terminal pngcairo size {},{} noenhanced font \"DejaVu Sans,13\"\n", kWidth, kHeight);
    script += "set encoding utf8\n";
    script += dataBlock(report, "satellites", systems,
                        [](const Rtcm3::QualityEpoch& epoch, int system)
                        { return std::to_string(epoch.satellites[system]); });
    if (anyCnr)
        script += dataBlock(
            report, "cnr", systems,
            [](const Rtcm3::QualityEpoch& epoch, int system)
            { return epoch.cnrMean[system] > 0 ? fmt::format("{:.1f}", epoch.cnrMean[system]) : "NaN"; });
    script += fmt::format(
        "set xdata time\nset timefmt \"%s\"\nset format x \"{}\"\nset xlabel \"GPS time\"\n", format);
    script += fmt::format("set xrange [\"{}\":\"{}\"]\n", unixText(first - margin), unixText(last + margin));
    script += "set lmargin 10\nset rmargin 12\nset grid\nset key outside right top samplen 2\n";
    script +=
        fmt::format("set multiplot layout {},1 title \"{}\" font \",16\"\n", anyCnr ? 2 : 1, titleOf(report));
    // A short gap in a long file is shaded a few pixels wide, so that it still shows.
    const std::int64_t narrowest = (last - first) / kGapPixelsAcross;
    for (std::size_t g = 0; g < report.gaps.size(); ++g)
    {
        const Gap& gap = report.gaps[g];
        const std::int64_t widen = std::max<std::int64_t>(0, narrowest - (gap.endMs - gap.startMs)) / 2;
        script += fmt::format(
            "set object {} rectangle from {}, graph 0 to {}, graph 1 behind fillcolor rgb \"#f4c7c3\" "
            "fillstyle solid 1.0 noborder\n",
            g + 1, unixText(gap.startMs - widen), unixText(gap.endMs + widen));
        if (report.gaps.size() <= kMostGapLabels)
            script += fmt::format("set label {} \"gap {:g} s\" at {}, graph 0.93 center\n", g + 1,
                                  static_cast<double>(gap.endMs - gap.startMs) / 1000.0,
                                  unixText((gap.startMs + gap.endMs) / 2));
    }
    // Room above the highest line, so that none runs along the border.
    script += "set ylabel \"satellites tracked\"\nset yrange [0:*]\nset offsets 0, 0, 1, 0\n" +
              plotCommand("satellites", systems);
    if (anyCnr)
        script += "set ylabel \"mean C/N0 (dB-Hz)\"\nset yrange [*:*]\nset offsets 0, 0, 1, 1\n" +
                  plotCommand("cnr", systems);
    return script + "unset multiplot\n";
}

} // namespace FileQuality
