// Frame builders and helpers shared by the decoder and driver tests.
#pragma once

#include "Captures/CaptureFile.h"
#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/FrameWriter.h"
#include "Rtcm3/MakeRinexLauncher.h"
#include "Rtcm3/Rtcm3Decoder.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace Rtcm3Test
{

using Bytes = std::vector<unsigned char>;

using VivozoCaptures::captureFile;

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Converts a file that stays where it is; the script it starts leads group.
inline bool convertInPlace(const std::string& logFilePath, const std::string& logDirectory,
                           Platform::ProcessGroup& group, std::string* problem = nullptr)
{
    const Rtcm3::ConversionSteps steps{
        [&](std::string* why) { return Rtcm3::openForScan(logFilePath, why); },
        [&](const std::string& rinexName, const std::vector<std::string>& environment)
        {
            group = Rtcm3::startMakeRinex(logFilePath, rinexName, 0, environment);
            return group.running();
        }};
    return Rtcm3::convertLogFile(logDirectory, steps, problem, {});
}

inline void append(Bytes& to, const Bytes& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

// The decoder is large: keep it off the test's stack, zero-filled as its owner must.
inline std::unique_ptr<Rtcm3::Rtcm3Decoder> newDecoder(int week = 1000)
{
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    decoder->gpsWeek = week;
    return decoder;
}

// Feeds the bytes and returns, per byte, the number of the last message of the station it completed.
inline std::vector<int> feedAll(Rtcm3::Rtcm3Decoder& decoder, const Bytes& bytes)
{
    std::vector<int> messages;
    for (unsigned char byte : bytes)
        messages.push_back(Rtcm3::feedByte(decoder, byte).message);
    return messages;
}

// The non-zero entries of feedAll's output.
inline std::vector<int> decodedMessages(const std::vector<int>& perByte)
{
    std::vector<int> messages;
    for (int message : perByte)
    {
        if (message != 0)
            messages.push_back(message);
    }
    return messages;
}

// The last message of the station that the bytes completed.
inline Rtcm3::DecodeResult feedFrame(Rtcm3::Rtcm3Decoder& decoder, const Bytes& frame)
{
    Rtcm3::DecodeResult last;
    for (unsigned char byte : frame)
    {
        const Rtcm3::DecodeResult result = Rtcm3::feedByte(decoder, byte);
        if (result.fromStation)
            last = result;
    }
    return last;
}

struct Satellite
{
    int id = 1;
    int code1 = 0;
    std::uint32_t range = 1000000; // 0.02 m
    std::int64_t phase = 2000;     // 0.0005 m
    int lock1 = 50;
    int ambiguity = 70;
    int cnr1 = 180;
    int code2 = 0;
    std::int64_t rangeDiff = 100; // 0.02 m
    std::int64_t phase2 = 4000;   // 0.0005 m
    int lock2 = 50;
    int cnr2 = 160;
    int channel = 7; // GLONASS only: raw frequency channel, k = channel - 7
};

// Where GPS and GLONASS observation messages differ; the four messages of a system follow its first.
struct ObservationFormat
{
    int firstMessage;
    int timeBits;
    int rangeBits;
    int ambiguityBits;
    bool withChannel;
};

constexpr ObservationFormat gpsFormat{1001, 30, 24, 8, false};
constexpr ObservationFormat glonassFormat{1009, 27, 25, 7, true};

inline Bytes observationMessage(const ObservationFormat& format, int message, int time, int sync,
                                const std::vector<Satellite>& satellites, int station)
{
    const int variant = message - format.firstMessage;
    Rtcm3::FrameWriter w;
    w.put(message, 12).put(station, 12).put(time, format.timeBits).put(sync, 1).put(satellites.size(), 5);
    w.put(0, 4);
    for (const Satellite& s : satellites)
    {
        w.put(s.id, 6).put(s.code1, 1);
        if (format.withChannel)
            w.put(s.channel, 5);
        w.put(s.range, format.rangeBits).putSigned(s.phase, 20).put(s.lock1, 7);
        if (variant == 1 || variant == 3)
            w.put(s.ambiguity, format.ambiguityBits).put(s.cnr1, 8);
        if (variant >= 2)
        {
            w.put(s.code2, 2).putSigned(s.rangeDiff, 14).putSigned(s.phase2, 20).put(s.lock2, 7);
            if (variant == 3)
                w.put(s.cnr2, 8);
        }
    }
    return w.frame();
}

inline Bytes gpsMessage(int message, int towMs, int sync, const std::vector<Satellite>& satellites,
                        int station = 0)
{
    return observationMessage(gpsFormat, message, towMs, sync, satellites, station);
}

inline Bytes glonassMessage(int message, int epochMs, int sync, const std::vector<Satellite>& satellites)
{
    return observationMessage(glonassFormat, message, epochMs, sync, satellites, 0);
}

inline Bytes positionMessage(int message, int station, std::int64_t x, std::int64_t y, std::int64_t z,
                             int height = 0)
{
    return Rtcm3::stationPositionFrame(message, station, x, y, z, height);
}

struct MsmSatellite
{
    int id = 1;
    int roughMs = 70;      // DF397, 255 invalid
    int info = 0;          // extended satellite info (MSM5, MSM7)
    int roughMod = 512;    // DF398, 1/1024 ms
    int roughRate = -1200; // DF399, m/s
};

struct MsmSignal
{
    std::int64_t pseudorange = 1000; // fine pseudorange, in the unit of the message type
    std::int64_t phase = 4000;       // fine phase range
    int lock = 9;
    int halfCycle = 0;
    int cnr = 40;
    std::int64_t rate = 2500; // fine phase-range rate, 0.0001 m/s (MSM5, MSM7)
};

// An MSM4 to MSM7 frame; the cell mask runs satellite by satellite, each with its signals, and one signal
// entry is written for each set bit.
inline Bytes msmMessage(int message, std::uint32_t epoch, int multiple,
                        const std::vector<MsmSatellite>& satellites, const std::vector<int>& signalIds,
                        const std::vector<bool>& cellMask, const std::vector<MsmSignal>& signals,
                        int station = 0)
{
    const int type = message % 10;
    const bool withRates = type == 5 || type == 7;
    const bool extended = type >= 6;
    Rtcm3::FrameWriter w;
    w.put(message, 12).put(station, 12).put(epoch, 30).put(multiple, 1).put(0, 18);
    std::uint64_t satelliteMask = 0;
    for (const MsmSatellite& s : satellites)
        satelliteMask |= std::uint64_t{1} << (64 - s.id);
    std::uint32_t signalMask = 0;
    for (int id : signalIds)
        signalMask |= 1u << (32 - id);
    w.put(satelliteMask >> 32, 32).put(satelliteMask & 0xFFFFFFFF, 32).put(signalMask, 32);
    for (bool bit : cellMask)
        w.put(bit ? 1 : 0, 1);
    for (const MsmSatellite& s : satellites)
        w.put(s.roughMs, 8);
    for (const MsmSatellite& s : satellites)
    {
        if (withRates)
            w.put(s.info, 4);
    }
    for (const MsmSatellite& s : satellites)
        w.put(s.roughMod, 10);
    for (const MsmSatellite& s : satellites)
    {
        if (withRates)
            w.putSigned(s.roughRate, 14);
    }
    for (const MsmSignal& c : signals)
        w.putSigned(c.pseudorange, extended ? 20 : 15);
    for (const MsmSignal& c : signals)
        w.putSigned(c.phase, extended ? 24 : 22);
    for (const MsmSignal& c : signals)
        w.put(c.lock, extended ? 10 : 4);
    for (const MsmSignal& c : signals)
        w.put(c.halfCycle, 1);
    for (const MsmSignal& c : signals)
        w.put(c.cnr, extended ? 10 : 6);
    for (const MsmSignal& c : signals)
    {
        if (withRates)
            w.putSigned(c.rate, 15);
    }
    return w.frame();
}

// testglo.rtcm3 with the antenna and date frames that make it convert; first epoch 2009-12-18 23:07:00.
inline Bytes convertibleCapture()
{
    Bytes file = Rtcm3::antennaDescriptorFrame(1033, 0, "TRM41249.00     NONE");
    append(file, Rtcm3::systemParametersFrame(0, 55183, 83205, 15));
    append(file, readFile(captureFile("testglo.rtcm3")));
    return file;
}

// Offsets at which the stream's frames (correct CRC) start, found as a frame search finds them.
inline std::vector<std::size_t> frameStarts(const Bytes& stream)
{
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at + 6 <= stream.size();)
    {
        const std::size_t length = ((stream[at + 1] & 0x03u) << 8) | stream[at + 2];
        const std::size_t end = at + 3 + length;
        if (stream[at] == 0xD3 && end + 3 <= stream.size() &&
            Rtcm3::crc24q(&stream[at], static_cast<int>(length + 3)) ==
                ((std::uint32_t(stream[end]) << 16) | (std::uint32_t(stream[end + 1]) << 8) |
                 stream[end + 2]))
        {
            starts.push_back(at);
            at = end + 3;
        }
        else
            ++at;
    }
    return starts;
}

// The message number of the frame starting at the offset.
inline int messageAt(const Bytes& stream, std::size_t at)
{
    return (stream[at + 3] << 4) | (stream[at + 4] >> 4);
}

// The stream with every frame's reference station ID set to the given one (and its CRC made again).
inline Bytes restamped(Bytes stream, int station)
{
    for (std::size_t at : frameStarts(stream))
    {
        const int message = messageAt(stream, at);
        const std::size_t length = ((stream[at + 1] & 0x03u) << 8) | stream[at + 2];
        if (message == 1019 || message == 1020 || length < 3)
            continue;
        stream[at + 4] = static_cast<unsigned char>((stream[at + 4] & 0xF0) | ((station >> 8) & 0x0F));
        stream[at + 5] = static_cast<unsigned char>(station & 0xFF);
        const std::uint32_t crc = Rtcm3::crc24q(&stream[at], static_cast<int>(length + 3));
        stream[at + 3 + length] = static_cast<unsigned char>(crc >> 16);
        stream[at + 4 + length] = static_cast<unsigned char>(crc >> 8);
        stream[at + 5 + length] = static_cast<unsigned char>(crc);
    }
    return stream;
}

// A fresh directory under the build tree (or /tmp), removed with the object.
class TempDir
{
public:
    TempDir()
    {
        const char* binary = std::getenv("VIVOZO_BINARY_DIR");
        std::string base = std::string(binary != nullptr ? binary : "/tmp") + "/rtcm3-test-XXXXXX";
        std::vector<char> pattern(base.begin(), base.end());
        pattern.push_back('\0');
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace Rtcm3Test
