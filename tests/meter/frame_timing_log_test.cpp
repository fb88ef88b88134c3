#include "meter/frame_timing_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "link/sim_driver.h"
#include "meter/orvane_usb.h"

namespace velquor {
namespace {

namespace fs = std::filesystem;

class TempFile {
public:
    TempFile() {
        std::string pattern = (fs::temp_directory_path() / "velquor-timing-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd >= 0)
            close(fd);
        m_path = pattern;
    }
    ~TempFile() {
        std::error_code ec;
        fs::remove(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::vector<std::string> Lines() const {
        std::ifstream in(m_path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::string m_path;
};

TEST(FrameTimingLog, RecordsRoundTripThroughTheirText) {
    const TimingRecord records[] = {
        {TimingEvent::kSent, 0, 0},
        {TimingEvent::kDecoded, 499, 3117086574349},
        {TimingEvent::kHandled, -32768, 1},
        {TimingEvent::kPainted, kNoTag, 9223372036854775807},
    };
    for (const TimingRecord& r : records) {
        const std::string text = FormatTimingRecord(r);
        EXPECT_EQ(ParseTimingRecord(text), r) << text;
        EXPECT_EQ(ParseTimingRecord(text + "\n"), r) << text;
    }
    EXPECT_EQ(FormatTimingRecord({TimingEvent::kPainted, -1, 42}), "P -1 42");
}

TEST(FrameTimingLog, MalformedLinesAreRejected) {
    for (const char* bad :
         {"", "S", "S 1", "S 1 ", "X 1 2", "s 1 2", "S  1 2", "S 1  2", "S1 2", "S 1 2 3", "S 1 2x",
          "S a 2", "S 1 -2", "S 1 99999999999999999999", "S 1.5 2", "S +1 2", "S 1 2\r"}) {
        EXPECT_FALSE(ParseTimingRecord(bad)) << '"' << bad << '"';
    }
}

TEST(FrameTimingLog, TagIsTheSignedPowerFieldOfAMeasurement) {
    const std::uint8_t measurement[] = {kOpMeasurement, 160, 0xF3, 0x01, 60};
    EXPECT_EQ(MeasurementTag(measurement, 5), 499);
    EXPECT_EQ(MeasurementTag(measurement, 4), 499);
    const std::uint8_t negative[] = {kOpMeasurement, 160, 0xFF, 0xFF};
    EXPECT_EQ(MeasurementTag(negative, 4), -1);
    EXPECT_FALSE(MeasurementTag(measurement, 3));  // power bytes missing
    const std::uint8_t other[] = {kOpReadRecord, 160, 0xF3, 0x01, 60};
    EXPECT_FALSE(MeasurementTag(other, 5));
    EXPECT_FALSE(MeasurementTag(nullptr, 5));
}

TEST(FrameTimingLog, BufferIsWrittenWhenFullAndAtTheEnd) {
    TempFile file;
    const int fd = ::open(file.Path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    {
        CFrameTimingLog small(fd, 3);
        small.Record(TimingEvent::kSent, 1, 10);
        small.Record(TimingEvent::kSent, 2, 20);
        EXPECT_TRUE(file.Lines().empty());
        small.Record(TimingEvent::kSent, 3, 30);
        EXPECT_EQ(file.Lines().size(), 3u);
        small.Record(TimingEvent::kDecoded, 4, 40);
        EXPECT_EQ(file.Lines().size(), 3u);
    }
    EXPECT_EQ(file.Lines(), (std::vector<std::string>{"S 1 10", "S 2 20", "S 3 30", "D 4 40"}));
}

TEST(FrameTimingLog, RecordsFromSeveralThreadsAreAllKept) {
    TempFile file;
    std::string error;
    {
        auto log = CFrameTimingLog::Open(file.Path(), error);
        ASSERT_TRUE(log) << error;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < 3000; ++i)
                    log->Record(TimingEvent::kHandled, t * 10000 + i);
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    std::vector<int> seen(4, 0);
    for (const std::string& line : file.Lines()) {
        const auto r = ParseTimingRecord(line);
        ASSERT_TRUE(r) << line;
        const int t = static_cast<int>(r->tag / 10000);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, 4);
        // Each thread's records keep their order.
        EXPECT_EQ(r->tag % 10000, seen[static_cast<std::size_t>(t)]++);
    }
    EXPECT_EQ(seen, (std::vector<int>{3000, 3000, 3000, 3000}));
}

TEST(FrameTimingLog, OpeningAnUnwritablePathIsAnError) {
    std::string error;
    EXPECT_FALSE(CFrameTimingLog::Open("/nonexistent-dir/timing.log", error));
    EXPECT_NE(error.find("/nonexistent-dir/timing.log"), std::string::npos) << error;
}

TEST(FrameTimingLog, EnvironmentNamesTheFile) {
    TempFile file;
    std::string error;
    unsetenv(kTimingLogVariable);
    EXPECT_FALSE(CFrameTimingLog::FromEnvironment(error));
    EXPECT_TRUE(error.empty());
    setenv(kTimingLogVariable, "", 1);
    EXPECT_FALSE(CFrameTimingLog::FromEnvironment(error));
    EXPECT_TRUE(error.empty());
    setenv(kTimingLogVariable, file.Path().c_str(), 1);
    {
        auto log = CFrameTimingLog::FromEnvironment(error);
        ASSERT_TRUE(log) << error;
        log->Record(TimingEvent::kPainted, 7, 70);
    }
    unsetenv(kTimingLogVariable);
    EXPECT_EQ(file.Lines(), (std::vector<std::string>{"P 7 70"}));
}

class NullSink : public IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t>) override {}
};

TEST(FrameTimingLog, TheReceiveHookStampsMeasurementsOnly) {
    TempFile file;
    std::string error;
    {
        auto log = CFrameTimingLog::Open(file.Path(), error);
        ASSERT_TRUE(log) << error;
        CSimDriver driver;
        COrvaneUSB meter(driver);
        auto sink = std::make_shared<NullSink>();
        meter.SetView(sink, kMeterFrameMessage);
        const std::uint8_t m1[] = {kOpMeasurement, 160, 12, 0, 60};
        const std::uint8_t ack[] = {kOpWriteRecord, 0};
        const std::uint8_t m2[] = {kOpMeasurement, 160, 13, 0, 60};
        meter.OnReceive(m1, sizeof m1);  // before the log is set: not stamped
        meter.SetTimingLog(log.get());
        const std::int64_t before = MonotonicNs();
        meter.OnReceive(ack, sizeof ack);
        meter.OnReceive(m2, sizeof m2);
        meter.SetTimingLog(nullptr);
        meter.OnReceive(m1, sizeof m1);
        log.reset();
        const auto lines = file.Lines();
        ASSERT_EQ(lines.size(), 1u);
        const auto r = ParseTimingRecord(lines[0]);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->event, TimingEvent::kDecoded);
        EXPECT_EQ(r->tag, 13);
        EXPECT_GE(r->ns, before);
        EXPECT_LE(r->ns, MonotonicNs());
    }
}

}  // namespace
}  // namespace velquor
