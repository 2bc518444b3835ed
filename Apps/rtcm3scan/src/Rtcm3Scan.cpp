// rtcm3scan: tells an operator why a log file did or did not convert to RINEX.
#include "DemoCapture.h"
#include "ScanReport.h"

#include "FileQuality/QualityPicture.h"
#include "FileQuality/QualityReport.h"
#include "Platform/DecimalText.h"
#include "Platform/NativePath.h"
#include "Platform/UniqueFile.h"
#include "VivozoVersion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace
{

void usage(std::FILE* out)
{
    std::fputs("usage: rtcm3scan [--epochs] [--station N] [--date YYYY-MM-DD] LOGFILE\n"
               "       rtcm3scan --kind [--station N] LOGFILE\n"
               "       rtcm3scan --qc [--picture PNG | --gnuplot] [--station N] [--date YYYY-MM-DD] LOGFILE\n"
               "       rtcm3scan --make-demo OUTFILE [CAPTURE] [--first-half | --second-half]\n"
               "       rtcm3scan --help | --version\n"
               "  LOGFILE   a datagram log file; Windows-style paths are mapped as the logger does\n"
               "  --epochs  also print every released epoch, one line per satellite, and every MSM\n"
               "            message, one line per satellite and signal\n"
               "  --station the reference station whose messages are read (default 0, as the token\n"
               "            RTCM_STATION_ID of the logger)\n"
               "  --date    the day the file was opened, which dates a file without 1013 (default: the\n"
               "            day of the file's modification time)\n"
               "  --kind    print only what observations the whole file holds: msm (any MSM, RINEX\n"
               "            3.04), legacy (legacy GPS/GLONASS alone, RINEX 2.11) or none\n"
               "  --qc      print the file's quality report (JSON), as the logger writes it beside\n"
               "            the RINEX file; --picture also draws its picture into PNG, --gnuplot prints\n"
               "            the gnuplot script that draws it instead of the report\n"
               "  --make-demo  write CAPTURE (default testglo.rtcm3 of the project's captures) as\n"
               "               recorded, or a half of it that starts at an epoch of its own\n"
               "exit status: 0 the file converts, 1 it does not, 2 usage or file error\n",
               out);
}

int makeDemo(int argc, char** argv)
{
    std::string capture = RTCM3SCAN_DEFAULT_CAPTURE;
    Rtcm3Scan::DemoPart part = Rtcm3Scan::DemoPart::Whole;
    bool captureGiven = false;
    for (int arg = 3; arg < argc; ++arg)
    {
        if (std::strcmp(argv[arg], "--first-half") == 0)
            part = Rtcm3Scan::DemoPart::FirstHalf;
        else if (std::strcmp(argv[arg], "--second-half") == 0)
            part = Rtcm3Scan::DemoPart::SecondHalf;
        else if (argv[arg][0] != '-' && !captureGiven)
        {
            capture = argv[arg];
            captureGiven = true;
        }
        else
        {
            usage(stderr);
            return 2;
        }
    }
    return Rtcm3Scan::writeDemoCapture(capture, argv[2], part) == 0 ? 0 : 2;
}

// Options of a scan.
struct ScanOptions
{
    bool epochs = false;
    bool kind = false;
    bool quality = false;
    bool gnuplot = false;
    const char* picture = nullptr;
    const char* date = nullptr;
    Rtcm3::ScanContext context;
};

bool parseStation(const char* text, unsigned int& station)
{
    const std::optional<std::int64_t> value = Platform::wholeDecimal(text, 0, 4095);
    if (value)
        station = static_cast<unsigned int>(*value);
    return value.has_value();
}

// "YYYY-MM-DD" as the UTC midnight that begins it.
bool parseDate(const char* text, std::time_t& day)
{
    std::tm broken{};
    char rest = 0;
    if (std::sscanf(text, "%4d-%2d-%2d%c", &broken.tm_year, &broken.tm_mon, &broken.tm_mday, &rest) != 3 ||
        broken.tm_mon < 1 || broken.tm_mon > 12 || broken.tm_mday < 1 || broken.tm_mday > 31)
        return false;
    broken.tm_year -= 1900;
    broken.tm_mon -= 1;
    day = timegm(&broken);
    return day != static_cast<std::time_t>(-1);
}

// The report (or the script of its picture) from the scan's one pass; exit status as for a scan.
int printQuality(std::FILE* file, Rtcm3::Rtcm3Decoder& decoder, const std::string& path,
                 const ScanOptions& options)
{
    Rtcm3::ScanResult result{};
    Rtcm3::QualityFigures figures;
    const bool converts = Rtcm3::scanLogFile(file, decoder, result, options.context, &figures);
    const FileQuality::QualityReport report = FileQuality::summarize(std::move(figures));
    std::string why = "drawn with --picture PNG";
    const std::optional<std::string> script = FileQuality::pictureScript(report, why);
    if (options.gnuplot)
    {
        if (!script)
            std::fprintf(stderr, "No picture: %s\n", why.c_str());
        std::fputs(script.value_or("").c_str(), stdout);
        return script ? 0 : 1;
    }
    FileQuality::ReportNames names{path, std::nullopt, std::nullopt, std::nullopt};
    if (script && options.picture != nullptr &&
        FileQuality::drawPicture(*script, Platform::nativePath(options.picture),
                                 FileQuality::kPictureTimeLimit, why))
        names.picture = options.picture;
    else
        names.whyNoPicture = why;
    std::fputs(FileQuality::reportJson(report, names).c_str(), stdout);
    return converts ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (answerHelpOrVersion(argc, argv, "rtcm3scan", usage))
        return 0;
    if (argc >= 3 && std::strcmp(argv[1], "--make-demo") == 0)
        return makeDemo(argc, argv);
    ScanOptions options;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg)
    {
        const bool hasValue = arg + 1 < argc;
        if (std::strcmp(argv[arg], "--epochs") == 0)
            options.epochs = true;
        else if (std::strcmp(argv[arg], "--kind") == 0)
            options.kind = true;
        else if (std::strcmp(argv[arg], "--qc") == 0)
            options.quality = true;
        else if (std::strcmp(argv[arg], "--gnuplot") == 0)
            options.gnuplot = true;
        else if (std::strcmp(argv[arg], "--picture") == 0 && hasValue)
            options.picture = argv[++arg];
        else if (std::strcmp(argv[arg], "--station") == 0 && hasValue &&
                 parseStation(argv[arg + 1], options.context.station))
            ++arg;
        else if (std::strcmp(argv[arg], "--date") == 0 && hasValue &&
                 parseDate(argv[arg + 1], options.context.opened))
            options.date = argv[++arg];
        else
        {
            usage(stderr);
            return 2;
        }
    }
    if (arg + 1 != argc || ((options.gnuplot || options.picture != nullptr) && !options.quality) ||
        (options.gnuplot && options.picture != nullptr))
    {
        usage(stderr);
        return 2;
    }
    const std::string path = argv[arg];
    const std::string native = Platform::nativePath(path);
    Platform::UniqueFile file(std::fopen(native.c_str(), "rb"));
    if (!file)
    {
        std::fprintf(stderr, "Can not open file %s\n", path.c_str());
        return 2;
    }
    struct stat status
    {
    };
    if (options.date == nullptr && ::stat(native.c_str(), &status) == 0)
        options.context.opened = status.st_mtime;

    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    Rtcm3::ScanResult result{};
    if (options.quality)
        return printQuality(file.get(), *decoder, path, options);
    const bool converts = Rtcm3::scanLogFile(file.get(), *decoder, result, options.context);
    if (options.kind)
    {
        std::puts(Rtcm3Scan::observationKind(result));
        return 0;
    }
    std::fflush(stderr);
    Rtcm3Scan::printScan(path, *decoder, result, converts);
    std::rewind(file.get());
    Rtcm3Scan::printWholeFile(file.get(), options.epochs, result, options.context.station);
    return converts ? 0 : 1;
}
