// Systems and signals of the Multiple Signal Messages: message numbers, RINEX signal codes, wavelengths.
#include "Carriers.h"
#include "Rtcm3/Msm.h"

namespace Rtcm3
{

namespace
{

using SignalTable = const char* const[kMsmMaxSignals + 1];

// Signal IDs 1 to 32 of each system as RINEX 3 band and attribute; index 0 is unused.
SignalTable kGpsSignals = {nullptr, nullptr, "1C",    "1P",    "1W",    nullptr, nullptr, nullptr, "2C",
                           "2P",    "2W",    nullptr, nullptr, nullptr, nullptr, "2S",    "2L",    "2X",
                           nullptr, nullptr, nullptr, nullptr, "5I",    "5Q",    "5X",    nullptr, nullptr,
                           nullptr, nullptr, nullptr, "1S",    "1L",    "1X"};
SignalTable kGlonassSignals = {nullptr, nullptr, "1C", "1P", nullptr, nullptr, nullptr, nullptr, "2C", "2P"};
SignalTable kGalileoSignals = {nullptr, nullptr, "1C", "1A",    "1B",    "1X", "1Z", nullptr, "6C",
                               "6A",    "6B",    "6X", "6Z",    nullptr, "7I", "7Q", "7X",    nullptr,
                               "8I",    "8Q",    "8X", nullptr, "5I",    "5Q", "5X"};
SignalTable kSbasSignals = {nullptr, nullptr, "1C",    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, "5I",    "5Q",    "5X"};
SignalTable kQzssSignals = {nullptr, nullptr, "1C",    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            "6S",    "6L",    "6X",    nullptr, nullptr, nullptr, "2S",    "2L",    "2X",
                            nullptr, nullptr, nullptr, nullptr, "5I",    "5Q",    "5X",    nullptr, nullptr,
                            nullptr, nullptr, nullptr, "1S",    "1L",    "1X"};
SignalTable kBeidouSignals = {nullptr, nullptr, "2I",    "2Q",    "2X",    nullptr, nullptr, nullptr, "6I",
                              "6Q",    "6X",    nullptr, nullptr, nullptr, "7I",    "7Q",    "7X",    nullptr,
                              nullptr, nullptr, nullptr, nullptr, "5D",    "5P",    "5X",    "7D",    nullptr,
                              nullptr, nullptr, nullptr, "1D",    "1P",    "1X"};

constexpr int kGlonassChannelMin = -7;
constexpr int kGlonassChannelMax = 6;

double frequency(MsmSystem system, char band, int glonassChannel)
{
    switch (system)
    {
    case MsmSystem::Glonass:
        if (glonassChannel < kGlonassChannelMin || glonassChannel > kGlonassChannelMax)
            return 0.0;
        return glonassFrequency(band, glonassChannel);
    case MsmSystem::Galileo:
        return band == '1' ? kL1 : band == '5' ? kL5 : band == '7' ? kE5b : band == '8' ? kE5 : kE6;
    case MsmSystem::Beidou:
        return band == '2' ? kB1I : band == '6' ? kB3 : band == '7' ? kE5b : band == '5' ? kL5 : kL1;
    case MsmSystem::Qzss:
        if (band == '6')
            return kE6;
        [[fallthrough]];
    default:
        return band == '1' ? kL1 : band == '2' ? kL2 : kL5;
    }
}

} // namespace

bool isAnyMsm(int message)
{
    const int kind = message % 10;
    return message >= kMsmFirstMessage && message <= kMsmLastMessage && kind >= 1 && kind <= kMsmLastKind;
}

MsmSystem msmSystem(int message)
{
    // The systems decoded end with BeiDou at 112x.
    const int system = (message - kMsmFirstMessage) / 10 + 1;
    if (!isAnyMsm(message) || message % 10 < kMsmFirstObservationKind ||
        system > static_cast<int>(MsmSystem::Beidou))
        return MsmSystem::None;
    return static_cast<MsmSystem>(system);
}

char msmSystemLetter(MsmSystem system)
{
    constexpr char kLetters[] = "?GRESJC";
    return kLetters[static_cast<int>(system)];
}

const char* msmSystemName(MsmSystem system)
{
    constexpr const char* kNames[] = {"none", "GPS", "GLONASS", "Galileo", "SBAS", "QZSS", "BeiDou"};
    return kNames[static_cast<int>(system)];
}

const char* msmSignalCode(MsmSystem system, int signal)
{
    // By system, in the order of MsmSystem.
    static const char* const* const kTables[] = {nullptr,      kGpsSignals,  kGlonassSignals, kGalileoSignals,
                                                 kSbasSignals, kQzssSignals, kBeidouSignals};
    if (system == MsmSystem::None || signal < 1 || signal > kMsmMaxSignals)
        return nullptr;
    return kTables[static_cast<int>(system)][signal];
}

double msmWavelength(MsmSystem system, int signal, int glonassChannel)
{
    const char* code = msmSignalCode(system, signal);
    if (code == nullptr)
        return 0.0;
    const double hertz = frequency(system, code[0], glonassChannel);
    return hertz > 0.0 ? kSpeedOfLight / hertz : 0.0;
}

} // namespace Rtcm3
