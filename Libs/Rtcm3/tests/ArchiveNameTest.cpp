// The RINEX 3 long names of archive copies: period, frequency, and fields fitted to the convention.
#include "Rtcm3/ArchiveName.h"

#include <gtest/gtest.h>

namespace
{

TEST(ArchiveName, PeriodRoundsTheSpanUpAndFrequencyNamesTheInterval)
{
    // A full hour at 1 Hz spans 59:59, with the next hour's first epoch 60:00: both are one hour.
    const std::pair<std::int64_t, const char*> periods[] = {
        {0, "01M"},         {185'000, "04M"},    {3'599'000, "01H"},         {3'600'000, "01H"},
        {3'601'000, "02H"}, {86'399'000, "01D"}, {100LL * 86'400'000, "00U"}};
    for (const auto& [span, period] : periods)
        EXPECT_EQ(Rtcm3::filePeriod(span), period) << span;
    const std::pair<std::int64_t, const char*> frequencies[] = {
        {0, "00U"}, {30'000, "30S"}, {1'000, "01S"}, {100, "10Z"}, {10, "01C"}, {120'000, "02M"}};
    for (const auto& [interval, frequency] : frequencies)
        EXPECT_EQ(Rtcm3::dataFrequency(interval), frequency) << interval;
}

TEST(ArchiveName, FieldsOutsideTheConventionAreFittedAndSaidSo)
{
    const Rtcm3::EpochTime first{2024, 2, 29, 0, 5, 0.0, 0, 0.0}; // day 60 of a leap year
    Rtcm3::ArchiveNames names = Rtcm3::archiveNames({"Zelt base", 278, "", ""}, first, 3'599'000, 1'000);
    EXPECT_EQ(names.observation, "ZELT00XXX_S_20240600005_01H_01S_MO.rnx.gz");
    EXPECT_TRUE(names.adjusted.empty());
    names = Rtcm3::archiveNames({"z-b", 278, "123", "n0"}, first, 0, 0);
    EXPECT_EQ(names.observation, "Z0B012NXX_S_20240600005_01M_00U_MO.rnx.gz");
    EXPECT_EQ(names.adjusted,
              (std::vector<std::string>{"marker name \"z-b\" taken as \"Z0B0\" (four letters or digits)",
                                        "monument and receiver \"123\" taken as \"12\" (two digits)",
                                        "country \"n0\" taken as \"NXX\" (three letters)"}));
}

} // namespace
