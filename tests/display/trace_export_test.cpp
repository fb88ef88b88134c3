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
