// A closed file's quality report and picture, end to end: the built logger logs a real capture with a
// minute of epochs cut out, the shipped "makerinex.bat" converts it with convbin, and the report beside
// the RINEX file says what that RINEX file holds.
#include "support/LoggerFixture.h"

#include "Captures/CaptureFile.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace VivozoTest;
using QualityReport = LoggerFixture;

namespace
{

constexpr int kHoleFrom = 515250; // GPS seconds of week: 2009-12-18 23:07:30
constexpr int kHoleTo = 515310;

int messageOf(const std::string& frame)
{
    return (static_cast<unsigned char>(frame[3]) << 4) | (static_cast<unsigned char>(frame[4]) >> 4);
}

// DF004 of a 1004: the 30 bits after message number and station.
int gpsSeconds(const std::string& frame)
{
    std::uint64_t bits = 0;
    for (int i = 3; i < 3 + 8; ++i)
        bits = (bits << 8) | static_cast<unsigned char>(frame[i]);
    return static_cast<int>((bits >> (64 - 54)) & ((1u << 30) - 1)) / 1000;
}

// What the RINEX 2.11 file holds: epoch times ("yy mm dd hh mm ss"), and satellites per system.
struct Rinex
{
    std::vector<std::string> epochs;
    std::map<char, std::set<std::string>> distinct;
    std::map<char, int> satelliteEpochs;
};

Rinex readRinex2(const std::string& text)
{
    Rinex rinex;
    std::istringstream in(text);
    std::string line;
    int types = 0;
    while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos)
    {
        if (line.find("# / TYPES OF OBSERV") != std::string::npos)
            types = std::stoi(line.substr(0, 6));
    }
    const int linesPerSatellite = (types + 4) / 5;
    while (std::getline(in, line))
    {
        if (line.size() < 32)
            continue;
        rinex.epochs.push_back(line.substr(1, 17));
        const int count = std::stoi(line.substr(29, 3));
        std::string ids = line.substr(32, 36);
        while (static_cast<int>(ids.size()) < 3 * count && std::getline(in, line))
            ids += line.substr(32, 36);
        for (int s = 0; s < count; ++s)
        {
            std::string id = ids.substr(3 * static_cast<std::size_t>(s), 3);
            rinex.distinct[id[0]].insert(id);
            ++rinex.satelliteEpochs[id[0]];
        }
        for (int skip = 0; skip < count * linesPerSatellite; ++skip)
            std::getline(in, line);
    }
    return rinex;
}

QJsonObject jsonAt(const std::string& path)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(readFile(path))).object();
}

} // namespace

TEST_F(QualityReport, AMinuteCutOutOfACaptureShowsAsTheGapOfItsRinexFile)
{
    if (std::system("command -v convbin >/dev/null && command -v gnuplot >/dev/null") != 0 ||
        !fs::exists(kFakeTimeLibrary))
        GTEST_SKIP()
            << "convbin, gnuplot or libfaketime is not installed (Debian rtklib, gnuplot-nox, faketime)";
    useShippedConverter();
    std::vector<std::string> frames;
    int epoch = 0;
    for (const std::string& frame : rtcmFrames(readFile(VivozoCaptures::captureFile("testglo.rtcm3"))))
    {
        // Each epoch's 1004 comes before its 1012.
        if (messageOf(frame) == 1004)
            epoch = gpsSeconds(frame);
        if ((messageOf(frame) != 1004 && messageOf(frame) != 1012) || epoch < kHoleFrom || epoch >= kHoleTo)
            frames.push_back(frame);
    }
    // Logged on the capture's day, which dates its epochs.
    startLoggerAt("@2009-12-18 23:11:00");
    command({"start", "C:\\rtcm\\hole", "base.rtcm", "60", "3011"});
    send(frames);
    ASSERT_TRUE(fileHolds(native("C:\\rtcm\\hole\\base.rtcm"), joined(frames)));
    command({"stop"});
    const std::string stem = native("C:\\rtcm\\hole\\20091218_230700");
    const auto listing = [&]
    {
        std::string names;
        for (const auto& entry : fs::directory_iterator(native("C:\\rtcm\\hole")))
            names += entry.path().filename().string() + " ";
        return names;
    };
    ASSERT_TRUE(eventually([&] { return fs::exists(stem + ".qc.json"); }, 60s))
        << listing() << m_logger->output();

    // For a look at what the logger wrote: VIVOZO_KEEP_QUALITY=DIR keeps the files there.
    if (const char* keep = std::getenv("VIVOZO_KEEP_QUALITY"); keep != nullptr)
        for (const char* suffix : {".qc.json", ".qc.png", ".08o", ".log"})
            fs::copy_file(stem + suffix, std::string(keep) + "/20091218_230700" + suffix,
                          fs::copy_options::overwrite_existing);
    const QJsonObject report = jsonAt(stem + ".qc.json");
    const Rinex rinex = readRinex2(readFile(stem + ".08o"));
    ASSERT_EQ(rinex.epochs.size(), 126u);
    EXPECT_EQ(report["epochs"].toInt(), 126);
    EXPECT_EQ(report["expected_epochs"].toInt(), 186);
    EXPECT_EQ(rinex.epochs.front(), "09 12 18 23 07 00");
    EXPECT_EQ(report["first_epoch"].toString(), "2009-12-18T23:07:00Z");
    EXPECT_EQ(report["last_epoch"].toString(), "2009-12-18T23:10:05Z");
    // The RINEX file jumps from the gap's start to its end.
    const auto at = std::find(rinex.epochs.begin(), rinex.epochs.end(), "09 12 18 23 07 29");
    ASSERT_NE(at, rinex.epochs.end());
    EXPECT_EQ(*std::next(at), "09 12 18 23 08 30");
    const QJsonArray gaps = report["gaps"].toArray();
    ASSERT_EQ(gaps.size(), 1);
    EXPECT_EQ(gaps[0]["start"].toString(), "2009-12-18T23:07:29Z");
    EXPECT_EQ(gaps[0]["end"].toString(), "2009-12-18T23:08:30Z");
    EXPECT_EQ(gaps[0]["seconds"].toDouble(), 61.0);
    const QJsonObject satellites = report["satellites"].toObject();
    EXPECT_EQ(satellites.keys(), QStringList({"G", "R", "S"}));
    for (const auto& [system, ids] : rinex.distinct)
    {
        const QJsonObject ofSystem = satellites[QString(QChar(system))].toObject();
        EXPECT_EQ(ofSystem["distinct"].toInt(), static_cast<int>(ids.size())) << system;
        EXPECT_NEAR(ofSystem["mean_per_epoch"].toDouble(), rinex.satelliteEpochs.at(system) / 126.0, 0.005)
            << system;
    }
    EXPECT_EQ(report["rinex"].toString(), "C:\\rtcm\\hole\\20091218_230700.08o");
    EXPECT_EQ(report["summary"].toString(), "completeness 67.7 %, G 9 R 6 S 2 satellites, 1 gap (61 s)");

    // The picture: 1200 pixels wide, the systems' lines drawn (GPS blue, GLONASS red) and the gap shaded.
    EXPECT_EQ(report["picture"].toString(), "20091218_230700.qc.png");
    const QImage picture(QString::fromStdString(stem + ".qc.png"));
    ASSERT_EQ(picture.width(), 1200);
    std::map<QRgb, int> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++colours[picture.pixel(x, y) & 0xFFFFFF];
    for (const QRgb drawn : {0x1f77b4u, 0xd62728u, 0xf4c7c3u})
        EXPECT_GT(colours[drawn], 500) << std::hex << drawn;

    // The snapshot lists the file with its report.
    const std::string snapshot = native("C:\\temp\\RORUVivozo.status.json");
    const auto recentFiles = [&] { return jsonAt(snapshot)["conversions"].toObject()["recent"].toArray(); };
    ASSERT_TRUE(eventually([&] { return !recentFiles().isEmpty(); }, 10s)) << readFile(snapshot);
    const QJsonObject recent = recentFiles()[0].toObject();
    EXPECT_EQ(recent["path"].toString(), "C:\\rtcm\\hole\\base.rtcm");
    EXPECT_EQ(recent["result"].toString(), "converted");
    EXPECT_EQ(recent["rinex"].toString(), report["rinex"].toString());
    EXPECT_EQ(recent["quality"].toString().toStdString(),
              fs::absolute(stem + ".qc.json").lexically_normal().string());
    EXPECT_EQ(recent["summary"].toString(), report["summary"].toString());
    EXPECT_EQ(terminate(), 0);
}
