#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "logging/log_messages.h"
#include "logging/log_session.h"
#include "logging/logger.h"
#include "logging_test_support.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;
using testing::DisconnectAfterRows;
using testing::FakeClock;
using testing::FakeSource;
using testing::FileSizeLimit;
using testing::ReadFile;
using testing::TempDir;

// Collects the end of a run; waits for it with a generous bound.
class Finish {
public:
    CLogger::FinishedCallback Callback() {
        return [this](const LogResult& result) {
            std::lock_guard lock(m_lock);
            ++m_calls;
            m_result = result;
            m_done.notify_all();
        };
    }
    std::optional<LogResult> Wait(std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_lock);
        m_done.wait_for(lock, limit, [this] { return m_result.has_value(); });
        return m_result;
    }
    int Calls() {
        std::lock_guard lock(m_lock);
        return m_calls;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_done;
    std::optional<LogResult> m_result;
    int m_calls = 0;
};

LogSettings Settings(const std::string& path, char delimiter = ',', bool header = true,
                     bool index = true) {
    LogSettings s;
    s.path = path;
    s.serialNumber = "PM000123";
    s.delimiter = delimiter;
    s.includeHeader = header;
    s.includeIndex = index;
    s.periodMs = 2000;
    return s;
}

TEST(Logger, WritesNRowsAtThePeriodThenEndsOnDisconnect) {
    TempDir dir;
    FakeSource source;
    source.powerDbm = -12.34;
    FakeClock clock;
    DisconnectAfterRows(clock, source, 3);
    CLogger logger(source, &clock);
    Finish finish;
    const LogSettings settings = Settings(dir.File("log.txt"));
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    const std::optional<LogResult> result = finish.Wait();
    ASSERT_TRUE(result);
    logger.Stop();
    EXPECT_EQ(result->end, LogEnd::Disconnected);
    EXPECT_EQ(result->rows, 3);
    EXPECT_EQ(result->path, settings.path);
    EXPECT_EQ(finish.Calls(), 1);
    EXPECT_FALSE(logger.Running());
    // The first row follows one pause after the header; one more pause ends the run.
    const auto periods = clock.Periods();
    ASSERT_EQ(periods.size(), 4u);
    for (const auto p : periods)
        EXPECT_EQ(p, 2000ms);
    EXPECT_EQ(ReadFile(settings.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
              "0,-12.34,0.00,77.0/25.0,09:05:03,03/07/2008,\r\n"
              "1,-12.34,0.00,77.0/25.0,09:05:04,03/07/2008,\r\n"
              "2,-12.34,0.00,77.0/25.0,09:05:05,03/07/2008,\r\n");
}

// What was applied to the powers follows line 1, and is named again where it
// changes; a period without a power to write has no row.
TEST(Logger, NotesLeadTheRowsTheyApplyTo) {
    TempDir dir;
    FakeSource source;
    source.powerDbm = 17.45;
    source.SetNotes("# OFS +2.5 dB\r\n");
    FakeClock clock;
    clock.onSleep = [&source](int count) {
        source.hasReading = count != 3;
        if (count == 3) {
            source.SetNotes("");
            source.powerDbm = 14.95;
        }
        source.connected = count <= 4;
    };
    CLogger logger(source, &clock);
    Finish finish;
    const LogSettings settings = Settings(dir.File("log.txt"));
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    const std::optional<LogResult> result = finish.Wait();
    ASSERT_TRUE(result);
    logger.Stop();
    EXPECT_EQ(result->rows, 3);
    EXPECT_EQ(ReadFile(settings.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "# OFS +2.5 dB\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
              "0,17.45,0.06,77.0/25.0,09:05:03,03/07/2008,\r\n"
              "1,17.45,0.06,77.0/25.0,09:05:04,03/07/2008,\r\n"
              "# every power below is the meter's reading as it came\r\n"
              "2,14.95,0.03,77.0/25.0,09:05:06,03/07/2008,\r\n");
}

struct FileCase {
    char delimiter;
    bool header;
    bool index;
    const char* expected;
};

class LoggerFileFormat : public ::testing::TestWithParam<FileCase> {};

TEST_P(LoggerFileFormat, ByteForByte) {
    const FileCase& c = GetParam();
    TempDir dir;
    FakeSource source;
    source.powerDbm = 7.0;
    FakeClock clock;
    clock.onSleep = [&source](int count) {
        source.powerDbm = 10.0;
        source.temperatureC = 25.1;
        if (count > 2)
            source.connected = false;
    };
    source.powerDbm = 7.0;
    CLogger logger(source, &clock);
    Finish finish;
    const LogSettings settings = Settings(dir.File("log.txt"), c.delimiter, c.header, c.index);
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    ASSERT_TRUE(finish.Wait());
    logger.Stop();
    EXPECT_EQ(ReadFile(settings.path), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, LoggerFileFormat,
    ::testing::Values(FileCase{',', true, true,
                               "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
                               "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
                               "0,10.00,0.01,77.2/25.1,09:05:03,03/07/2008,\r\n"
                               "1,10.00,0.01,77.2/25.1,09:05:04,03/07/2008,\r\n"},
                      FileCase{'\t', true, false,
                               "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
                               "dBm\tWatt\tTemp(F/C)\tTime    \tDate\t\r\n"
                               "10.00\t0.01\t77.2/25.1\t09:05:03\t03/07/2008\t\r\n"
                               "10.00\t0.01\t77.2/25.1\t09:05:04\t03/07/2008\t\r\n"},
                      // The index is written whether or not there is a title line.
                      FileCase{' ', false, true,
                               "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
                               "0 10.00 0.01 77.2/25.1 09:05:03 03/07/2008 \r\n"
                               "1 10.00 0.01 77.2/25.1 09:05:04 03/07/2008 \r\n"},
                      FileCase{';', false, false,
                               "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
                               "10.00;0.01;77.2/25.1;09:05:03;03/07/2008;\r\n"
                               "10.00;0.01;77.2/25.1;09:05:04;03/07/2008;\r\n"}));

TEST(Logger, LocalTimeFailureValuesInTheFile) {
    TempDir dir;
    FakeSource source;
    FakeClock clock;
    clock.stamp = FailedLocalTime();
    clock.onSleep = [&](int count) {
        std::lock_guard lock(clock.m_lock);
        clock.stamp = FailedLocalTime();
        if (count > 1)
            source.connected = false;
    };
    CLogger logger(source, &clock);
    Finish finish;
    const LogSettings settings = Settings(dir.File("log.txt"), ',', false, false);
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    ASSERT_TRUE(finish.Wait());
    logger.Stop();
    EXPECT_EQ(ReadFile(settings.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "0.00,0.00,77.0/25.0,0-1:0-1:0-1,00/00/0,\r\n");
}

TEST(Logger, LostLinkEndsALongPauseAtOnce) {
    TempDir dir;
    FakeSource source;
    CLogger logger(source);  // the system clock
    Finish finish;
    LogSettings settings = Settings(dir.File("log.txt"));
    settings.periodMs = 3600000;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    std::this_thread::sleep_for(20ms);
    // Nobody announces the change: the pause notices it by itself.
    source.connected = false;
    const std::optional<LogResult> result = finish.Wait(30s);
    ASSERT_TRUE(result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(result->end, LogEnd::Disconnected);
    EXPECT_EQ(result->rows, 0);
    logger.Stop();
}

TEST(Logger, StopEndsALongPauseAtOnce) {
    TempDir dir;
    FakeSource source;
    // A check interval far beyond the test's bound: only the wake-up can end the pause.
    CSystemLogClock clock(std::chrono::hours(1));
    CLogger logger(source, &clock);
    Finish finish;
    LogSettings settings = Settings(dir.File("log.txt"));
    settings.periodMs = 3600000;
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(logger.StopAndWait(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    const std::optional<LogResult> result = finish.Wait(0ms);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->end, LogEnd::Stopped);
    EXPECT_EQ(ReadFile(settings.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n");
}

TEST(Logger, NotifiedDisconnectEndsThePauseWithoutPolling) {
    TempDir dir;
    FakeSource source;
    CSystemLogClock clock(std::chrono::hours(1));
    CLogger logger(source, &clock);
    Finish finish;
    LogSettings settings = Settings(dir.File("log.txt"));
    settings.periodMs = 3600000;
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    source.connected = false;
    logger.NotifyConnectionChanged();
    const std::optional<LogResult> result = finish.Wait(30s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->end, LogEnd::Disconnected);
    logger.Stop();
}

TEST(Logger, OneRunAtATime) {
    TempDir dir;
    FakeSource source;
    CLogger logger(source);
    Finish finish;
    LogSettings settings = Settings(dir.File("a.txt"));
    settings.periodMs = 3600000;
    ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
    LogSettings other = Settings(dir.File("b.txt"));
    EXPECT_EQ(logger.Start(other, {}).status, LogStart::AlreadyRunning);
    EXPECT_EQ(logger.Path(), settings.path);
    EXPECT_FALSE(std::filesystem::exists(other.path));
    logger.Stop();
    // Once ended, the same logger starts again.
    source.connected = false;
    Finish second;
    EXPECT_EQ(logger.Start(other, second.Callback()).status, LogStart::Started);
    ASSERT_TRUE(second.Wait());
    logger.Stop();
}

TEST(Logger, TwoLoggersCannotShareAFile) {
    TempDir dir;
    FakeSource source;
    CLogger first(source);
    CLogger second(source);
    LogSettings settings = Settings(dir.File("log.txt"));
    settings.periodMs = 3600000;
    ASSERT_EQ(first.Start(settings, {}).status, LogStart::Started);
    const LogStartResult refused = second.Start(settings, {});
    EXPECT_EQ(refused.status, LogStart::OpenFailed);
    EXPECT_FALSE(refused.error.empty());
    first.Stop();
    EXPECT_EQ(ReadFile(settings.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n");
}

TEST(Logger, DiskFullStopsWithCompleteRowsAndAMessage) {
    TempDir dir;
    FakeSource source;
    FakeClock clock;
    CLogger logger(source, &clock);
    Finish finish;
    const LogSettings settings = Settings(dir.File("log.txt"));
    const std::string head =
        "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
        "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n";
    const std::string row0 = "0,0.00,0.00,77.0/25.0,09:05:03,03/07/2008,\r\n";
    const std::string row1 = "1,0.00,0.00,77.0/25.0,09:05:04,03/07/2008,\r\n";
    std::optional<LogResult> result;
    {
        FileSizeLimit limit(head.size() + row0.size() + row1.size() + 10);
        ASSERT_TRUE(limit.Ok());
        ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
        result = finish.Wait();
        logger.Stop();
    }
    ASSERT_TRUE(result);
    EXPECT_EQ(result->end, LogEnd::WriteFailed);
    EXPECT_EQ(result->rows, 2);
    EXPECT_NE(result->error.find("File too large"), std::string::npos) << result->error;
    EXPECT_EQ(ReadFile(settings.path), head + row0 + row1);
    LogSessionResult session;
    session.result = *result;
    const std::string message = DescribeLogFailure(settings, session);
    EXPECT_EQ(message, WriteErrorMessage(settings.path, result->error));
    EXPECT_NE(message.find(settings.path), std::string::npos);
}

TEST(Logger, HeaderThatDoesNotFitEndsTheRun) {
    TempDir dir;
    FakeSource source;
    CLogger logger(source);
    Finish finish;
    const LogSettings settings = Settings(dir.File("log.txt"));
    std::optional<LogResult> result;
    {
        FileSizeLimit limit(10);
        ASSERT_TRUE(limit.Ok());
        ASSERT_EQ(logger.Start(settings, finish.Callback()).status, LogStart::Started);
        result = finish.Wait();
        logger.Stop();
    }
    ASSERT_TRUE(result);
    EXPECT_EQ(result->end, LogEnd::WriteFailed);
    EXPECT_EQ(result->rows, 0);
    EXPECT_FALSE(logger.Running());
    EXPECT_EQ(ReadFile(settings.path), "");
}

// A disk whose sync stalls until the test lets it go (or 20 s pass).
struct StalledDisk {
    std::mutex lock;
    std::condition_variable changed;
    bool released = false;
    bool stalled = false;
    bool closed = false;

    void Release() {
        std::lock_guard guard(lock);
        released = true;
        changed.notify_all();
    }
    template <typename Pred>
    bool WaitFor(Pred pred) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 20s, pred);
    }
};

class StallingWriter : public CLogFileWriter {
public:
    explicit StallingWriter(std::shared_ptr<StalledDisk> disk) : m_disk(std::move(disk)) {}
    ~StallingWriter() override {
        std::lock_guard guard(m_disk->lock);
        m_disk->closed = true;
        m_disk->changed.notify_all();
    }

protected:
    int SysSync(int fd) override {
        {
            std::unique_lock guard(m_disk->lock);
            m_disk->stalled = true;
            m_disk->changed.notify_all();
            m_disk->changed.wait_for(guard, 20s, [this] { return m_disk->released; });
        }
        return CLogFileWriter::SysSync(fd);
    }

private:
    std::shared_ptr<StalledDisk> m_disk;
};

TEST(Logger, AStalledDiskHoldsNeitherTheStartNorTheShutdown) {
    TempDir dir;
    FakeSource source;
    auto disk = std::make_shared<StalledDisk>();
    const LogSettings settings = Settings(dir.File("log.txt"));
    {
        CLogger logger(source, nullptr, std::make_unique<StallingWriter>(disk));
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(logger.Start(settings, {}).status, LogStart::Started);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        ASSERT_TRUE(disk->WaitFor([&] { return disk->stalled; }));
        const auto stop = std::chrono::steady_clock::now();
        EXPECT_FALSE(logger.Abandon(200ms));
        // The owner's second shutdown (its destructor) does not wait again.
        EXPECT_FALSE(logger.Abandon(5s));
        EXPECT_LT(std::chrono::steady_clock::now() - stop, 2s);
    }
    // The run let go still finishes its header and closes the file.
    disk->Release();
    ASSERT_TRUE(disk->WaitFor([&] { return disk->closed; }));
    EXPECT_EQ(ReadFile(settings.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n");
}

TEST(Logger, OpenFailureIsReportedAtStart) {
    TempDir dir;
    FakeSource source;
    CLogger logger(source);
    const LogSettings settings = Settings(dir.File("no/such/dir/log.txt"));
    const LogStartResult start = logger.Start(settings, {});
    EXPECT_EQ(start.status, LogStart::OpenFailed);
    EXPECT_FALSE(logger.Running());
    LogSessionResult session;
    session.start = start;
    EXPECT_EQ(DescribeLogFailure(settings, session).rfind(OpenErrorMessage(settings.path), 0), 0u);
}

TEST(LogSession, RunsUntilTheSourceDisconnects) {
    TempDir dir;
    FakeSource source;
    FakeClock clock;
    DisconnectAfterRows(clock, source, 5);
    const LogSettings settings = Settings(dir.File("log.txt"), '\t', false, true);
    const LogSessionResult session = RunLogSession(source, settings, std::nullopt, {}, &clock);
    ASSERT_EQ(session.start.status, LogStart::Started);
    EXPECT_EQ(session.result.end, LogEnd::Disconnected);
    EXPECT_EQ(session.result.rows, 5);
    EXPECT_EQ(DescribeLogFailure(settings, session), "");
    const std::string text = ReadFile(settings.path);
    EXPECT_NE(text.find("4\t0.00\t0.00\t77.0/25.0\t09:05:07\t03/07/2008\t\r\n"), std::string::npos);
}

TEST(LogSession, EndsWhenItsTimeIsUp) {
    TempDir dir;
    FakeSource source;
    LogSettings settings = Settings(dir.File("log.txt"));
    settings.periodMs = 3600000;
    const auto start = std::chrono::steady_clock::now();
    const LogSessionResult session = RunLogSession(source, settings, 50ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    ASSERT_EQ(session.start.status, LogStart::Started);
    EXPECT_EQ(session.result.end, LogEnd::Stopped);
    EXPECT_EQ(session.result.rows, 0);
}

TEST(LogSession, EndsWhenCancelled) {
    TempDir dir;
    FakeSource source;
    LogSettings settings = Settings(dir.File("log.txt"));
    settings.periodMs = 3600000;
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(20ms);
        cancel = true;
    });
    const LogSessionResult session =
        RunLogSession(source, settings, std::nullopt, [&] { return cancel.load(); });
    canceller.join();
    EXPECT_EQ(session.result.end, LogEnd::Stopped);
}

TEST(LogSession, DelimiterOption) {
    EXPECT_EQ(ParseDelimiterOption("tab"), '\t');
    EXPECT_EQ(ParseDelimiterOption("semicolon"), ';');
    EXPECT_EQ(ParseDelimiterOption("comma"), ',');
    EXPECT_EQ(ParseDelimiterOption("space"), ' ');
    EXPECT_EQ(ParseDelimiterOption("|"), '|');
    EXPECT_EQ(ParseDelimiterOption("t"), 't');
    EXPECT_FALSE(ParseDelimiterOption(""));
    EXPECT_FALSE(ParseDelimiterOption("||"));
    EXPECT_FALSE(ParseDelimiterOption("\n"));
    EXPECT_FALSE(ParseDelimiterOption("\r"));
}

}  // namespace
}  // namespace velquor
