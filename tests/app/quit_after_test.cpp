// The program's unattended run: it closes itself, paints on the offscreen platform
// and writes the timing log named in the environment.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include "meter/frame_timing_log.h"

namespace velquor {
namespace {

TEST(QuitAfter, ClosesTheWindowAndFlushesTheTimingLog) {
    QTemporaryDir dir;
    const QString logPath = dir.filePath("timing.log");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert(kTimingLogVariable, logPath);
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(VELQUOR_BINARY, {"--simulate", "--quit-after", "1.5"});
    ASSERT_TRUE(process.waitForFinished(60000)) << "did not close itself";
    EXPECT_GE(clock.elapsed(), 1500);
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

    QFile file(logPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    int decoded = 0, handled = 0, painted = 0, shown = 0;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const std::string line = in.readLine().toStdString();
        const auto r = ParseTimingRecord(line);
        ASSERT_TRUE(r) << line;
        decoded += r->event == TimingEvent::kDecoded;
        handled += r->event == TimingEvent::kHandled;
        painted += r->event == TimingEvent::kPainted;
        shown += r->event == TimingEvent::kPainted && r->tag != kNoTag;
    }
    // The built-in meter sends five frames a second; each is handled, and the
    // hidden offscreen window still paints what it shows.
    EXPECT_GE(decoded, 3);
    EXPECT_EQ(handled, decoded);
    EXPECT_GE(shown, 1);
    EXPECT_GE(painted, shown);
}

}  // namespace
}  // namespace velquor
