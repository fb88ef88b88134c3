// What velquor-cli log writes: CSV that any locale reads back, and text rows whose
// index goes on across a meter's absence.
#include "log_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
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

Reading At(Reading r, std::int64_t ms) {
    r.utc_us = kT0 + ms * 1000;
    r.steady_ns = 5'000'000'000 + ms * 1'000'000;
    return r;
}

// A disk with room for `room` bytes in each file.
class SmallDisk : public CLogFileWriter {
public:
    explicit SmallDisk(std::size_t room) : m_room(room) {}

protected:
    ssize_t SysWrite(int fd, const void* data, std::size_t length, off_t offset) override {
        const std::size_t at = static_cast<std::size_t>(offset);
        if (at >= m_room) {
            errno = ENOSPC;
            return -1;
        }
        return CLogFileWriter::SysWrite(fd, data, std::min(length, m_room - at), offset);
    }

private:
    std::size_t m_room;
};

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
    log.Take(At(Measure(0, -12.3, 26.25, 576), 0));
    // The period's mean is of the linear powers: 10 mW and 100 mW average 55 mW.
    log.Take(At(Measure(1, 10.0), 100));
    log.Take(At(Measure(1, 20.0), 200));
    ASSERT_TRUE(log.WriteRows(kT0 + 900000));
    // No row for a meter that sent nothing in the period, nor for one that is lost.
    log.Take(Event(1, ReadingKind::LinkLost));
    ASSERT_TRUE(log.WriteRows(kT0 + 1900000));
    ASSERT_TRUE(log.Close());
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
              "2026-12-07T19:53:53.323Z,\"bench \"\"B\"\",2\",20,0.1,25,636,2,MEAN,10,20\n");
    EXPECT_EQ(log.FileRows(0), 2);
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
    ASSERT_TRUE(log.WriteRows(kT0));
    ASSERT_TRUE(log.Close());
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
    ASSERT_TRUE(log.WriteRows(kT0));
    log.Take(Event(0, ReadingKind::LinkLost));
    ASSERT_TRUE(log.WriteRows(kT0 + 1000000));  // away: no row
    log.Take(Event(0, ReadingKind::Reconnected));
    ASSERT_TRUE(log.WriteRows(kT0 + 2000000));  // back, nothing fresh yet: no row
    log.Take(Measure(0, 6.98, 26.0));
    ASSERT_TRUE(log.WriteRows(kT0 + 3000000));
    log.End(0);
    log.Take(Measure(0, 1.0));
    ASSERT_TRUE(log.WriteRows(kT0 + 4000000));  // ended: no row
    ASSERT_TRUE(log.Close());
    EXPECT_EQ(Slurp(file),
              "Orvane Virid Irivi RA-Serial Number unknown\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
              "0,7.00,0.01,77.0/25.0,19:53:53,12/07/2026,\r\n"
              "1,6.98,0.00,78.8/26.0,19:53:56,12/07/2026,\r\n");
    EXPECT_EQ(log.Rows(0), 2);
}

// Rows in the order their readings were taken, each stamped with its reading's
// time; a wall clock stepped back never takes the time column back.
TEST(LogRecorder, CsvTimesAreTheReadingsOwnAndNeverGoBack) {
    testing::TempDir dir;
    const std::string file = dir.File("t.csv");
    LogRecorderSettings settings;
    settings.format = LogFormat::Csv;
    LogRecorder log(settings, {{"A", "", file}, {"B", "", file}});
    std::string error;
    ASSERT_TRUE(log.Open(error)) << error;
    log.Take(At(Measure(0, 1.0), 950));
    log.Take(At(Measure(1, 2.0), 900));
    ASSERT_TRUE(log.WriteRows(kT0 + 5'000'000));  // a late write does not move them
    // The wall clock is stepped back an hour between B's reading and A's.
    log.Take(At(Measure(1, 2.0), 1900));
    Reading stepped = At(Measure(0, 1.0), 1950);
    stepped.utc_us -= 3'600'000'000;
    log.Take(stepped);
    ASSERT_TRUE(log.WriteRows(kT0));
    ASSERT_TRUE(log.Close());
    std::vector<std::string> rows;
    std::stringstream lines(Slurp(file));
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line.substr(0, line.find(',', line.find(',') + 1)));
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "time,meter", "2026-12-07T19:53:54.023Z,B", "2026-12-07T19:53:54.073Z,A",
                        "2026-12-07T19:53:55.023Z,B", "2026-12-07T19:53:55.073Z,A"}));
}

TEST(NextRowTime, FollowsTheWallClockButNeverGoesBack) {
    struct Row {
        std::optional<RowTime> above;
        std::int64_t utc_us, steady_ns;
        RowTime want;
    };
    const RowTime above{1'000'000, 50'000'000};
    for (const Row& r : {
             Row{std::nullopt, 7, 9, {7, 9}},  // the first row
             Row{above, 1'200'000, 250'000'000, {1'200'000, 250'000'000}},
             Row{above, 1'000'000, 50'000'000, {1'000'000, 50'000'000}},   // same time
             Row{above, 9'000'000, 60'000'000, {9'000'000, 60'000'000}},   // stepped forward
             Row{above, -5'000'000, 80'000'000, {1'030'000, 80'000'000}},  // stepped back
             Row{above, 999'000, 40'000'000, {1'000'000, 50'000'000}},     // taken earlier
         }) {
        const RowTime got = NextRowTime(r.above, r.utc_us, r.steady_ns);
        EXPECT_EQ(got.utc_us, r.want.utc_us) << r.utc_us;
        EXPECT_EQ(got.steady_ns, r.want.steady_ns) << r.utc_us;
    }
}

// A file that fills up ends its own meter's rows, each file keeps whole rows, and
// each says what it holds.
TEST(LogRecorder, AFullFileStopsItsOwnRowsOnly) {
    setenv("TZ", "UTC", 1);
    tzset();
    testing::TempDir dir;
    const std::string a = dir.File("a.txt"), b = dir.File("b.txt");
    const std::size_t head = 82;  // the first line and the title line
    int made = 0;
    LogRecorder log({LogFormat::Text, ',', true, true, std::nullopt}, {{"A", "", a}, {"B", "", b}},
                    [&] {
                        // Room for two rows in b.txt.
                        return std::make_unique<SmallDisk>(made++ == 0 ? 100000 : head + 90);
                    });
    std::string error;
    ASSERT_TRUE(log.Open(error)) << error;
    int failedAt = 0;
    for (int period = 1; period <= 5; ++period) {
        log.Take(Measure(0, 7.0));
        log.Take(Measure(1, 5.0));
        if (!log.WriteRows(kT0 + period * 1000000) && failedAt == 0)
            failedAt = period;
    }
    EXPECT_TRUE(log.Close());
    EXPECT_EQ(failedAt, 3);
    EXPECT_EQ(log.Rows(0), 5);
    EXPECT_EQ(log.Rows(1), 2);
    EXPECT_EQ(log.FileError(0), "");
    EXPECT_EQ(log.FileError(1), "No space left on device");
    const std::string kept = Slurp(b);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 4) << kept;
    EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n");
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
