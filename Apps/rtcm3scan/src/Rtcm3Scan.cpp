// rtcm3scan: tells an operator why a log file did or did not convert to RINEX.
#include "DemoCapture.h"
#include "ScanReport.h"

#include "Platform/NativePath.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace
{

void usage()
{
    std::fputs("usage: rtcm3scan [--epochs] LOGFILE\n"
               "       rtcm3scan --make-demo OUTFILE [CAPTURE]\n"
               "  LOGFILE   a datagram log file; Windows-style paths are mapped as the logger does\n"
               "  --epochs  also print every released epoch, one line per satellite\n"
               "  --make-demo  write CAPTURE (default testglo.rtcm3 of the shared test data) with a\n"
               "               1033 and a 1013 frame added, a file that converts\n"
               "exit status: 0 the file converts, 1 it does not, 2 usage or file error\n",
               stderr);
}

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--make-demo") == 0 && argc <= 4)
    {
        const std::string capture = argc == 4 ? argv[3] : RTCM3SCAN_DEFAULT_CAPTURE;
        return Rtcm3Scan::writeDemoCapture(capture, argv[2]) == 0 ? 0 : 2;
    }
    bool epochs = false;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--epochs") == 0)
    {
        epochs = true;
        ++arg;
    }
    if (arg + 1 != argc || argv[arg][0] == '-')
    {
        usage();
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
