// Throughput of the decoder over the real captures and of one whole scan.
#include "Captures/CaptureFile.h"
#include "DayOfMsm7.h"
#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/FrameSplit.h"
#include "Rtcm3/FrameWriter.h"
#include "Rtcm3/Msm.h"
#include "Rtcm3/Rtcm3Decoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<unsigned char> readCapture(const char* name)
{
    std::ifstream in(VivozoCaptures::captureFile(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The capture's MSM frames, one after the other, repeated into a stream of about 100 KB.
std::vector<unsigned char> msmStream(const char* name)
{
    const std::vector<unsigned char> capture = readCapture(name);
    std::vector<unsigned char> frames;
    Rtcm3::forEachFrame(capture.data(), capture.size(),
                        [&](std::size_t at, std::size_t size, int message)
                        {
                            if (Rtcm3::msmSystem(message) != Rtcm3::MsmSystem::None)
                                frames.insert(frames.end(), capture.begin() + at,
                                              capture.begin() + at + size);
                            return true;
                        });
    std::vector<unsigned char> stream;
    while (!frames.empty() && stream.size() < 100000)
        stream.insert(stream.end(), frames.begin(), frames.end());
    return stream;
}

void decodeBytes(benchmark::State& state, const std::vector<unsigned char>& capture, unsigned int station)
{
    if (capture.empty())
    {
        state.SkipWithError("capture not found");
        return;
    }
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    int messages = 0;
    for (auto _ : state)
    {
        *decoder = Rtcm3::Rtcm3Decoder{};
        decoder->gpsWeek = 1000;
        decoder->stationFilter = station;
        for (unsigned char byte : capture)
            messages += Rtcm3::feedByte(*decoder, byte).message != 0;
        benchmark::DoNotOptimize(messages);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(capture.size()));
}

void BM_DecodeTestglo(benchmark::State& state)
{
    decodeBytes(state, readCapture("testglo.rtcm3"), 0);
}
BENCHMARK(BM_DecodeTestglo);

void BM_DecodeStation278(benchmark::State& state)
{
    decodeBytes(state, readCapture("station278.rtcm3"), 278);
}
BENCHMARK(BM_DecodeStation278);

// GPS and GLONASS MSM7 of a u-blox base, as modern bases send them.
void BM_DecodeMsm7(benchmark::State& state)
{
    decodeBytes(state, msmStream("f9p-msm.rtcm3"), 0);
}
BENCHMARK(BM_DecodeMsm7);

// A capture that converts: the scan stops at the first byte that completes its findings.
void BM_ScanLogFile(benchmark::State& state)
{
    std::vector<unsigned char> file = Rtcm3::antennaDescriptorFrame(1033, 0, "TRM41249.00     NONE");
    const auto date = Rtcm3::systemParametersFrame(0, 55183, 83205, 15);
    file.insert(file.end(), date.begin(), date.end());
    const std::vector<unsigned char> capture = readCapture("testglo.rtcm3");
    if (capture.empty())
    {
        state.SkipWithError("capture not found");
        return;
    }
    file.insert(file.end(), capture.begin(), capture.end());
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    for (auto _ : state)
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(fmemopen(file.data(), file.size(), "rb"),
                                                               &std::fclose);
        *decoder = Rtcm3::Rtcm3Decoder{};
        Rtcm3::ScanResult result{};
        benchmark::DoNotOptimize(Rtcm3::scanLogFile(stream.get(), *decoder, result));
    }
}
BENCHMARK(BM_ScanLogFile);

// The whole 1000-message window: testglo as it is never converts, so the scan reads it to the end.
void BM_ScanLogFileToTheEnd(benchmark::State& state)
{
    std::vector<unsigned char> capture = readCapture("testglo.rtcm3");
    if (capture.empty())
    {
        state.SkipWithError("capture not found");
        return;
    }
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    // The scan reports the missing antenna and date on every pass: keep that off the console.
    std::fflush(stderr);
    const int savedStderr = ::dup(STDERR_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, STDERR_FILENO);
    for (auto _ : state)
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(fmemopen(capture.data(), capture.size(), "rb"),
                                                               &std::fclose);
        *decoder = Rtcm3::Rtcm3Decoder{};
        Rtcm3::ScanResult result{};
        benchmark::DoNotOptimize(Rtcm3::scanLogFile(stream.get(), *decoder, result));
    }
    std::fflush(stderr);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    ::close(devNull);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(capture.size()));
}
BENCHMARK(BM_ScanLogFileToTheEnd);

// The whole-file pass of the conversion over a day of 1 Hz MSM7 of four systems, read from disk.
void BM_WholeFilePassOfADay(benchmark::State& state)
{
    if (!Rtcm3Bench::writeDayOfMsm7(RTCM3_BENCH_DAY_FILE))
    {
        state.SkipWithError("can not write " RTCM3_BENCH_DAY_FILE);
        return;
    }
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    std::int64_t bytes = 0;
    for (auto _ : state)
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(RTCM3_BENCH_DAY_FILE, "rb"),
                                                             &std::fclose);
        *decoder = Rtcm3::Rtcm3Decoder{};
        Rtcm3::ScanResult result{};
        Rtcm3::QualityFigures quality;
        benchmark::DoNotOptimize(Rtcm3::scanLogFile(file.get(), *decoder, result, {}, &quality));
        benchmark::DoNotOptimize(quality.epochs.size());
        bytes += std::ftell(file.get());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_WholeFilePassOfADay)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
