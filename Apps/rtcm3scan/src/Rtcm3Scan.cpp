// rtcm3scan: tells an operator why a log file did or did not convert to RINEX.
#include "DemoCapture.h"
#include "ScanReport.h"

#include "Platform/NativePath.h"
#include "VivozoVersion.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace
{

void usage(std::FILE* out)
{
    std::fputs("usage: rtcm3scan [--epochs] LOGFILE\n"
               "       rtcm3scan --make-demo OUTFILE [CAPTURE] [--first-half | --second-half]\n"
               "       rtcm3scan --help | --version\n"
               "  LOGFILE   a datagram log file; Windows-style paths are mapped as the logger does\n"
               "  --epochs  also print every released epoch, one line per satellite\n"
               "  --make-demo  write CAPTURE (default testglo.rtcm3 of the project's captures) with a\n"
               "               1033 and a 1013 frame added, a file that converts; a half of it starts\n"
               "               at an epoch of its own\n"
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

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

int main(int argc, char** argv)
{
    if (answerHelpOrVersion(argc, argv, "rtcm3scan", usage))
        return 0;
    if (argc >= 3 && std::strcmp(argv[1], "--make-demo") == 0)
        return makeDemo(argc, argv);
    bool epochs = false;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--epochs") == 0)
    {
        epochs = true;
        ++arg;
    }
    if (arg + 1 != argc || argv[arg][0] == '-')
    {
        usage(stderr);
        return 2;
    }
    const std::string path = argv[arg];
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(Platform::nativePath(path).c_str(), "rb"));
    if (!file)
    {
        std::fprintf(stderr, "Can not open file %s\n", path.c_str());
        return 2;
    }

    Rtcm3::Rtcm3Decoder decoder{};
    Rtcm3::ScanResult result{};
    const bool converts = Rtcm3::scanLogFile(file.get(), decoder, result);
    std::fflush(stderr);
    Rtcm3Scan::printScan(path, decoder, result, converts);
    std::rewind(file.get());
    Rtcm3Scan::printWholeFile(file.get(), epochs, result);
    return converts ? 0 : 1;
}
