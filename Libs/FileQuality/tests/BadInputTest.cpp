// Files that are not what a station should deliver get a report that says what is there, and no picture.
#include "FileQuality/QualityPicture.h"
#include "FileQuality/QualityReport.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace Rtcm3Test;

namespace
{

FileQuality::QualityReport reportOf(const Bytes& bytes)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    auto decoder = newDecoder();
    Rtcm3::ScanResult result{};
    Rtcm3::QualityFigures figures;
    testing::internal::CaptureStderr();
    Rtcm3::scanLogFile(file.get(), *decoder, result, {0, 1261177860}, &figures); // opened 2009-12-18 23:11
    testing::internal::GetCapturedStderr();
    return FileQuality::summarize(std::move(figures));
}

TEST(BadInput, AReportSaysWhatIsThereAndThereIsNoPicture)
{
    const Bytes capture = readFile(captureFile("testglo.rtcm3"));
    Bytes garbage(5000);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<unsigned char>((i * 2654435761u) >> 13); // 0xD3 among the rest
    Bytes stationOnly = Rtcm3::stationPositionFrame(1006, 0, -38692975138, 34365713345, 37173693757, 1500);
    append(stationOnly, Rtcm3::antennaDescriptorFrame(1033, 0, "TRM41249.00     NONE"));
    // The last frame of the capture, a 1012, cut 40 bytes before its end.
    const std::size_t lastFrame = frameStarts(capture).back();
    const Bytes cut(capture.begin(), capture.end() - 40);
    struct Case
    {
        const char* name;
        Bytes bytes;
        std::size_t epochs;
        std::uint64_t outside;
        const char* summary;
    } const cases[] = {
        {"garbage", garbage, 0, 5000,
         "no epoch of station 0; stations found: none; 5000 bytes outside frames"},
        {"another station", restamped(capture, 278), 0, 58,
         "no epoch of station 0; stations found: 278; 58 bytes outside frames"},
        {"no epoch", stationOnly, 0, 0, "no epoch of station 0; stations found: 0; 0 bytes outside frames"},
        {"empty", {}, 0, 0, "no epoch of station 0; stations found: none; 0 bytes outside frames"},
        {"cut mid-frame", cut, 185, 58 + (cut.size() - lastFrame),
         "completeness 100.0 %, G 9 R 6 S 2 satellites, no gap"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const FileQuality::QualityReport report = reportOf(c.bytes);
        EXPECT_EQ(report.figures.epochs.size(), c.epochs);
        EXPECT_EQ(report.figures.bytes, c.bytes.size());
        EXPECT_EQ(report.figures.bytesOutsideFrames, c.outside);
        EXPECT_EQ(report.summary, c.summary);
        std::string why;
        EXPECT_EQ(FileQuality::pictureScript(report, why).has_value(), c.epochs > 0) << why;
        const QJsonObject json =
            QJsonDocument::fromJson(
                QByteArray::fromStdString(FileQuality::reportJson(report, {c.name, {}, {}, why})))
                .object();
        EXPECT_EQ(json["epochs"].toInt(), static_cast<int>(c.epochs));
        EXPECT_EQ(json["first_epoch"].isNull(), c.epochs == 0);
        EXPECT_EQ(json["completeness"].isNull(), c.epochs == 0);
        if (c.epochs == 0)
        {
            EXPECT_EQ(json["why_no_picture"].toString(), "no epoch of station 0 in the file");
        }
    }
}

} // namespace
