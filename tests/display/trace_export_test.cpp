#include "display/trace_export.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace velquor {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class TraceExportFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("velquor_trace_export_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST(TraceExport, OneRowPerSampleWithPointDecimals) {
    const std::vector<double> samples{10.0, -3.25, 47.5, 0.1};
    EXPECT_EQ(TraceToCsv(samples), "Second,dBm\r\n0,10.00\r\n1,-3.25\r\n2,47.50\r\n3,0.10\r\n");
    EXPECT_EQ(TraceToCsv({}), "Second,dBm\r\n");
}

TEST(TraceExport, FullHistoryIsWrittenWhole) {
    const std::vector<double> samples(3600, 1.5);
    const std::string csv = TraceToCsv(samples);
    EXPECT_NE(csv.find("\r\n3599,1.50\r\n"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3601);
}

TEST_F(TraceExportFile, WritesTheCsvAndReplacesAnOldFile) {
    const fs::path file = dir_ / "trace.csv";
    std::ofstream(file) << "old content that is longer than the new one\n";
    std::string error;
    const std::vector<double> samples{1.0, 2.0};
    ASSERT_TRUE(WriteTraceCsv(file.string(), samples, error)) << error;
    EXPECT_EQ(ReadAll(file), TraceToCsv(samples));
    EXPECT_FALSE(fs::exists(file.string() + ".part"));
}

TEST_F(TraceExportFile, FailureIsReportedAndLeavesNothing) {
    const fs::path file = dir_ / "missing" / "trace.csv";
    std::string error;
    EXPECT_FALSE(WriteTraceCsv(file.string(), std::vector<double>{1.0}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(file));
    error.clear();
    EXPECT_FALSE(WriteTraceCsv("", std::vector<double>{1.0}, error));
    EXPECT_FALSE(error.empty());
    // A directory in the way of the file name.
    fs::create_directories(dir_ / "taken");
    error.clear();
    EXPECT_FALSE(WriteTraceCsv((dir_ / "taken").string(), std::vector<double>{1.0}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(dir_ / "taken"));
    EXPECT_FALSE(fs::exists((dir_ / "taken").string() + ".part"));
}

}  // namespace
}  // namespace velquor

namespace velquor {
namespace {

TEST(TraceExport, IsoUtcTimeWithMilliseconds) {
    const struct {
        std::int64_t ms;
        const char* text;
    } cases[] = {{0, "1970-01-01T00:00:00.000Z"},
                 {1765198800123, "2025-12-08T13:00:00.123Z"},
                 {1765198800999, "2025-12-08T13:00:00.999Z"},
                 {-1, "1969-12-31T23:59:59.999Z"}};
    for (const auto& c : cases)
        EXPECT_EQ(IsoUtcMsText(c.ms), c.text) << c.ms;
}

TEST(TraceExport, CsvNamesTheMeterAndWhatWasInForceAndTimesEveryRow) {
    TraceConditions conditions;
    conditions.serial = "OV227700";
    conditions.settings.offset_db = 1.5;
    conditions.settings.average_count = 4;
    conditions.settings.limits = {12.0, std::nullopt};
    const std::vector<double> samples{11.78, 12.0};
    const std::vector<std::int64_t> times{1765198800281, 1765198801230};
    EXPECT_EQ(TraceToCsv(samples, times, conditions),
              "# Velquor trace: meter OV227700; unit dBm; offset +1.50 dB; averaging 4; "
              "relative off; upper limit 12.00 dBm; lower limit off\r\n"
              "# Start: 2025-12-08T13:00:00.281Z\r\n"
              "Time (UTC),Second,dBm\r\n"
              "2025-12-08T13:00:00.281Z,0,11.78\r\n"
              "2025-12-08T13:00:01.230Z,1,12.00\r\n");

    // Nothing recorded: the conditions and the column header, no start.
    TraceConditions unknown;
    unknown.settings.relative = true;
    unknown.settings.reference_dbm = -3.0;
    EXPECT_EQ(TraceToCsv({}, {}, unknown),
              "# Velquor trace: meter unknown; unit dBm; offset +0.00 dB; averaging off; "
              "relative to -3.00 dBm; upper limit off; lower limit off\r\n"
              "Time (UTC),Second,dBm\r\n");
    // A sample without its time keeps its row.
    EXPECT_NE(TraceToCsv(samples, std::span(times).first(1), conditions).find("\r\n,1,12.00\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace velquor
