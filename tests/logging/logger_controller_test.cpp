#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QWidget>

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "logging/logger_controller.h"
#include "logging/qt_column_header.h"
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

struct Shown {
    std::string text;
    std::string caption;
    bool ownedByView;
};

class ScriptedUi : public ILogUi {
public:
    void ShowMessage(const std::string& text, const std::string& caption,
                     bool ownedByView) override {
        messages.push_back({text, caption, ownedByView});
    }
    std::optional<LogFileOptions> AskSaveOptions() override {
        ++asked;
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void OpenFile(const std::string& path) override { opened.push_back(path); }

    std::vector<Shown> messages;
    std::deque<std::optional<LogFileOptions>> answers;
    std::vector<std::string> opened;
    int asked = 0;
};

class Controller : public ::testing::Test {
protected:
    Controller() {
        auto ui = std::make_unique<ScriptedUi>();
        script = ui.get();
        controller = std::make_unique<CLoggerController>(source, std::move(ui), &clock);
        controller->SetFinishedHook([this](const LogResult& r) { finished.push_back(r); });
    }
    LogFileOptions Options(const std::string& name, char delimiter = ',') {
        LogFileOptions o;
        o.path = dir.File(name);
        o.delimiter = delimiter;
        return o;
    }
    // Lets the GUI thread handle the end of a run, with a generous bound.
    bool WaitFinished(std::size_t count = 1) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (finished.size() < count && std::chrono::steady_clock::now() < end)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        return finished.size() >= count;
    }

    TempDir dir;
    FakeSource source;
    FakeClock clock;
    ScriptedUi* script = nullptr;
    std::unique_ptr<CLoggerController> controller;
    std::vector<LogResult> finished;
};

TEST_F(Controller, NotConnected) {
    source.connected = false;
    controller->OnSaveMeasurementData("1.0", "PM1");
    ASSERT_EQ(script->messages.size(), 1u);
    EXPECT_EQ(script->messages[0].text, "No Orvane Connected!");
    EXPECT_EQ(script->messages[0].caption, "Orvane ViridIrivi RA");
    EXPECT_TRUE(script->messages[0].ownedByView);
    EXPECT_EQ(script->asked, 0);
}

TEST_F(Controller, RatesOutOfRangeShowTheirMessageAndNoDialog) {
    struct Case {
        const char* rate;
        const char* message;
    };
    for (const Case& c :
         {Case{"0.999", "Time period to save data is too short!"},
          Case{"", "The file save rate is not a number! Enter 1.0 to 3600.0 seconds."},
          Case{"3600.001", "Time period to save data is too long!"}}) {
        script->messages.clear();
        controller->OnSaveMeasurementData(c.rate, "PM1");
        ASSERT_EQ(script->messages.size(), 1u) << c.rate;
        EXPECT_EQ(script->messages[0].text, c.message);
        EXPECT_EQ(script->messages[0].caption, "Orvane ViridIrivi RA");
    }
    EXPECT_EQ(script->asked, 0);
}

TEST_F(Controller, CancelledDialogStartsNothing) {
    script->answers.push_back(std::nullopt);
    controller->OnSaveMeasurementData("1.0", "PM1");
    EXPECT_EQ(script->asked, 1);
    EXPECT_FALSE(controller->Running());
    EXPECT_TRUE(script->messages.empty());
    EXPECT_TRUE(controller->LogFile().empty());
}

TEST_F(Controller, RunWritesRowsThenOpensTheFileOnTheGuiThread) {
    DisconnectAfterRows(clock, source, 2);
    LogFileOptions options = Options("log.txt");
    options.includeIndex = false;
    script->answers.push_back(options);
    controller->OnSaveMeasurementData("2.5", "PM000123");
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(finished[0].end, LogEnd::Disconnected);
    EXPECT_EQ(script->opened, std::vector<std::string>{options.path});
    EXPECT_TRUE(script->messages.empty());
    EXPECT_EQ(clock.Periods().front(), 2500ms);
    EXPECT_EQ(controller->LogFile(), options.path);
    EXPECT_TRUE(controller->LogHeader());
    EXPECT_FALSE(controller->LogIndex());
    ASSERT_EQ(controller->Columns().size(), 5u);
    EXPECT_EQ(controller->Columns()[3].m_strHeading, "Time    ");
    EXPECT_EQ(ReadFile(options.path),
              "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
              "dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
              "0.00,0.00,77.0/25.0,09:05:03,03/07/2008,\r\n"
              "0.00,0.00,77.0/25.0,09:05:04,03/07/2008,\r\n");
}

TEST_F(Controller, SecondStartWhileRunningSaysWhereDataGoes) {
    // Every pause lasts until the run is told to end.
    CSystemLogClock realClock;
    auto ui = std::make_unique<ScriptedUi>();
    ScriptedUi* ownScript = ui.get();
    CLoggerController running(source, std::move(ui), &realClock);
    ownScript->answers.push_back(Options("first.txt"));
    ownScript->answers.push_back(Options("second.txt"));
    running.OnSaveMeasurementData("3600", "PM1");
    ASSERT_TRUE(running.Running());
    running.OnSaveMeasurementData("1.0", "PM1");
    EXPECT_EQ(ownScript->asked, 1);
    ASSERT_EQ(ownScript->messages.size(), 1u);
    EXPECT_EQ(ownScript->messages[0].text,
              "Measurement data is already being saved to " + dir.File("first.txt") + ".");
    EXPECT_FALSE(std::filesystem::exists(dir.File("second.txt")));
    // Closing the window does not wait for the hour-long pause, and the run ends as
    // any other does.
    const auto start = std::chrono::steady_clock::now();
    running.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_FALSE(running.Running());
    EXPECT_EQ(ownScript->opened, std::vector<std::string>{dir.File("first.txt")});
}

TEST_F(Controller, OpenFailureMessage) {
    script->answers.push_back(Options("missing/log.txt"));
    controller->OnSaveMeasurementData("1.0", "PM1");
    ASSERT_EQ(script->messages.size(), 1u);
    EXPECT_EQ(script->messages[0].text, "Error opening file " + dir.File("missing/log.txt") + ".");
    EXPECT_EQ(script->messages[0].caption, "File open error");
    EXPECT_FALSE(script->messages[0].ownedByView);
    EXPECT_FALSE(controller->Running());
    // The settings were taken before the file was opened.
    EXPECT_EQ(controller->LogFile(), dir.File("missing/log.txt"));
}

TEST_F(Controller, WriteFailureStopsAndNamesTheFile) {
    const LogFileOptions options = Options("log.txt");
    script->answers.push_back(options);
    const std::string kept =
        "Orvane Virid Irivi RA-Serial Number PM000123\r\n"
        "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n"
        "0,0.00,0.00,77.0/25.0,09:05:03,03/07/2008,\r\n";
    {
        // Line 1, the title line, one row and a few bytes fit.
        FileSizeLimit limit(kept.size() + 5);
        ASSERT_TRUE(limit.Ok());
        controller->OnSaveMeasurementData("1.0", "PM000123");
        ASSERT_TRUE(WaitFinished());
    }
    EXPECT_EQ(finished[0].end, LogEnd::WriteFailed);
    EXPECT_EQ(finished[0].rows, 1);
    EXPECT_TRUE(script->opened.empty());
    ASSERT_EQ(script->messages.size(), 1u);
    EXPECT_EQ(script->messages[0].caption, "File write error");
    EXPECT_NE(script->messages[0].text.find(options.path), std::string::npos);
    EXPECT_NE(script->messages[0].text.find("File too large"), std::string::npos);
    EXPECT_EQ(ReadFile(options.path), kept);
}

TEST_F(Controller, ColumnsAreMirroredInTheHeaderControl) {
    QWidget view;
    QHeaderView header(Qt::Horizontal, &view);
    CQtColumnHeader sink(&header, &view);
    controller->SetColumnHeader(&sink);
    DisconnectAfterRows(clock, source, 0);
    script->answers.push_back(Options("a.txt"));
    controller->OnSaveMeasurementData("1.0", "PM1");
    ASSERT_TRUE(WaitFinished());
    const QStringList titles = {"#", "dBm", "Watt", "Temp(F/C)", "Time    ", "Date"};
    ASSERT_EQ(header.count(), titles.size());
    const int x = view.fontMetrics().horizontalAdvance(QLatin1Char('X'));
    for (int i = 0; i < titles.size(); ++i) {
        EXPECT_EQ(header.model()->headerData(i, Qt::Horizontal).toString(), titles[i]);
        EXPECT_EQ(header.sectionSize(i), x * (i == 0 ? 5 : 20)) << i;
        EXPECT_EQ(header.model()
                      ->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole)
                      .value<Qt::Alignment>(),
                  Qt::AlignCenter);
    }
    // The next start rebuilds the list: without the title line it is empty.
    LogFileOptions plain = Options("b.txt");
    plain.includeHeader = false;
    script->answers.push_back(plain);
    source.connected = true;
    controller->OnSaveMeasurementData("1.0", "PM1");
    ASSERT_TRUE(WaitFinished(2));
    EXPECT_EQ(header.count(), 0);
    EXPECT_TRUE(controller->Columns().empty());
}

}  // namespace
}  // namespace velquor
