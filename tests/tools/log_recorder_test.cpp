// What velquor-cli log writes: CSV that any locale reads back, and text rows whose
// index goes on across a meter's absence.
#include "log_recorder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/temp_dir.h"

namespace velquor::cli {
namespace {

using station::Reading;
using station::ReadingKind;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Reading Measure(std::uint32_t meter, double dbm, double celsius = 25.0, double battery = 636.0) {
    Reading r;
    r.meter = meter;
    r.power_dbm = dbm;
    r.temperature_c = celsius;
    r.battery = battery;
    return r;
}

Reading Event(std::uint32_t meter, ReadingKind kind) {
    Reading r;
    r.kind = kind;
    r.meter = meter;
    return r;
}

// 2026-12-07T19:53:53.123Z
constexpr std::int64_t kT0 = 1796673233123456;

TEST(LogRecorder, CsvKeepsItsPointUnderACommaLocale) {
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if ((chosen = std::setlocale(LC_ALL, name)) != nullptr)
            break;
    if (chosen == nullptr)
        GTEST_SKIP() << "no comma-decimal locale installed";
    testing::TempDir dir;
    const std::string file = dir.File("all.csv");
    LogRecorderSettings settings;
    settings.format = LogFormat::Csv;
    LogRecorder log(settings, {{"OV227700", "OV227700", file}, {"bench \"B\",2", "", file}});
    std::string error;
    ASSERT_TRUE(log.Open(error)) << error;
    log.Take(Measure(0, -12.3, 26.25, 576));
    // The period's mean is of the linear powers: 10 mW and 100 mW average 55 mW.
    log.Take(Measure(1, 10.0));
    log.Take(Measure(1, 20.0));
    ASSERT_TRUE(log.WriteRows(kT0, error)) << error;
    log.Take(Event(1, ReadingKind::LinkLost));
    ASSERT_TRUE(log.WriteRows(kT0 + 1000000, error)) << error;
    ASSERT_TRUE(log.Close(error)) << error;
    std::setlocale(LC_ALL, "C");
    const std::string csv = Slurp(file);
    // The mean is a logarithm of a sum: compared within rounding, the rest exactly.
    const std::string before = "\",20,0.1,25,636,2,";
    ASSERT_NE(csv.find(before), std::string::npos) << csv;
    const std::size_t at = csv.find(before) + before.size();
    const std::size_t end = csv.find(',', at);
    EXPECT_NEAR(std::stod(csv.substr(at, end - at)), 10.0 * std::log10(55.0), 1e-12);
    EXPECT_EQ(csv.substr(0, at) + "MEAN" + csv.substr(end),
              "time,meter,power_dbm,power_w,temperature_c,battery,frames,power_dbm_mean,"
              "power_dbm_min,power_dbm_max\n"
              "2026-12-07T19:53:53.123Z,OV227700,-12.3,5.88843655355589e-05,26.25,576,1,-12.3,"
              "-12.3,-12.3\n"
              "2026-12-07T19:53:53.123Z,\"bench \"\"B\"\",2\",20,0.1,25,636,2,MEAN,10,20\n"
              "2026-12-07T19:53:54.123Z,OV227700,-12.3,5.88843655355589e-05,26.25,576,0,,,\n");
    EXPECT_EQ(log.FileRows(0), 3);
    EXPECT_EQ(log.Rows(1), 1);
}

TEST(LogRecorder, CsvOffsetIsAddedToEveryPowerAndNamedFirst) {
    testing::TempDir dir;
    const std::string file = dir.File("att.csv");
    LogRecorderSettings settings;
    settings.format = LogFormat::Csv;
    settings.offsetDb = 30.0;
    LogRecorder log(settings, {{"OV227700", "OV227700", file}});
    std::string error;
    ASSERT_TRUE(log.Open(error)) << error;
    log.Take(Measure(0, -20.0));
    log.Take(Measure(0, -10.0));
    ASSERT_TRUE(log.WriteRows(kT0, error)) << error;
    ASSERT_TRUE(log.Close(error)) << error;
    const std::string csv = Slurp(file);
    const std::string head = "# OFS +30.0 dB: offset_db=30 is added to every power in this file\n" +
                             std::string(kCsvHeader) + "\n";
    ASSERT_EQ(csv.substr(0, head.size()), head) << csv;
    // 10 mW and 1 W: the latest is 20 dBm (0.1 W), the range 10 to 20 dBm.
    EXPECT_NE(csv.find(",OV227700,20,0.1,25,636,2,"), std::string::npos) << csv;
    EXPECT_EQ(csv.substr(csv.size() - 7), ",10,20\n") << csv;
    EXPECT_EQ(log.FileRows(0), 1);
}

TEST(LogRecorder, TextIndexGoesOnAcrossAnAbsence) {
    setenv("TZ", "UTC", 1);
    tzset();
    testing::TempDir dir;
    const std::string file = dir.File("meter.txt");
    LogRecorder log({LogFormat::Text, ',', true, true, std::nullopt}, {{"/dev/pts/3", "", file}});
    std::string error;
    ASSERT_TRUE(log.Open(error)) << error;
    log.Take(Measure(0, 7.0));
    ASSERT_TRUE(log.WriteRows(kT0, error));
    log.Take(Event(0, ReadingKind::LinkLost));
    ASSERT_TRUE(log.WriteRows(kT0 + 1000000, error));  // away: no row
    log.Take(Event(0, ReadingKind::Reconnected));
    ASSERT_TRUE(log.WriteRows(kT0 + 2000000, error));  // back, nothing fresh yet: no row
    log.Take(Measure(0, 6.98, 26.0));
    ASSERT_TRUE(log.WriteRows(kT0 + 3000000, error));
    log.End(0);
    log.Take(Measure(0, 1.0));
    ASSERT_TRUE(log.WriteRows(kT0 + 4000000, error));  // ended: no row
    ASSERT_TRUE(log.Close(error));
    EXPECT_EQ(Slurp(file),
              "Orvane Virid Irivi RA-Serial Number unknown\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
              "0,7.00,0.01,77.0/25.0,19:53:53,12/07/2026,\r\n"
              "1,6.98,0.00,78.8/26.0,19:53:56,12/07/2026,\r\n");
    EXPECT_EQ(log.Rows(0), 2);
}

TEST(MeterFileName, OneSafeNamePerMeter) {
    EXPECT_EQ(MeterFileName("log-{meter}.txt", "OV227700"), "log-OV227700.txt");
    EXPECT_EQ(MeterFileName("/tmp/{meter}/{meter}.txt", "/dev/pts/3"),
              "/tmp/_dev_pts_3/_dev_pts_3.txt");
    EXPECT_EQ(MeterFileName("{meter}.txt", "OV1#2 ../x"), "OV1#2_.._x.txt");
    EXPECT_EQ(MeterFileName("plain.txt", "OV1"), "plain.txt");
}

}  // namespace
}  // namespace velquor::cli
