// The keys of a log file's quality report ("<RINEX stem>.qc.json"), which the status page reads.
#pragma once

namespace QualityKeys
{
inline constexpr char kFile[] = "file";   // the log file, as the logger names it
inline constexpr char kRinex[] = "rinex"; // the RINEX observation file; null when none
inline constexpr char kStation[] = "station";
inline constexpr char kId[] = "id";
inline constexpr char kEcef[] = "ecef_m"; // [x, y, z]; null without 1005/1006
inline constexpr char kLatitude[] = "latitude_deg";
inline constexpr char kLongitude[] = "longitude_deg";
inline constexpr char kHeight[] = "height_m"; // above the WGS 84 ellipsoid
inline constexpr char kAntenna[] = "antenna";
inline constexpr char kReceiver[] = "receiver";
inline constexpr char kStationsFound[] = "stations_found";
inline constexpr char kFirstEpoch[] = "first_epoch";
inline constexpr char kLastEpoch[] = "last_epoch";
inline constexpr char kInterval[] = "interval_s";
inline constexpr char kEpochs[] = "epochs";
inline constexpr char kExpectedEpochs[] = "expected_epochs";
inline constexpr char kCompleteness[] = "completeness";
inline constexpr char kGaps[] = "gaps"; // [{start, end, seconds}]
inline constexpr char kStart[] = "start";
inline constexpr char kEnd[] = "end";
inline constexpr char kSeconds[] = "seconds";
inline constexpr char kSatellites[] = "satellites"; // {"G": {distinct, mean_per_epoch}}
inline constexpr char kDistinct[] = "distinct";
inline constexpr char kMeanPerEpoch[] = "mean_per_epoch";
inline constexpr char kCnrMean[] = "cnr_mean";  // {"G": {"C1C": 44.1}}: dB-Hz by signal
inline constexpr char kMessages[] = "messages"; // {"1004": {count, rate_hz}}
inline constexpr char kCount[] = "count";
inline constexpr char kRate[] = "rate_hz";
inline constexpr char kBytes[] = "bytes"; // the file's length
inline constexpr char kBytesOutsideFrames[] = "bytes_outside_frames";
inline constexpr char kBadCrcFrames[] = "bad_crc_frames";
inline constexpr char kTimeline[] = "timeline"; // [{t, "G": n, ...}]
inline constexpr char kTime[] = "t";
inline constexpr char kPicture[] = "picture";
inline constexpr char kWhyNoPicture[] = "why_no_picture";
inline constexpr char kSummary[] = "summary";
} // namespace QualityKeys
