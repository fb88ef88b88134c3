// The program's unattended run: it closes itself, paints on the offscreen platform
// and writes the timing log named in the environment.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
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
    // The built-in meter sends five frames a second. Those decoded once it is
    // connected are handled (the ones during the connect sequence are not shown),
    // and the hidden offscreen window still paints what it shows.
    EXPECT_GE(handled, 3);
    EXPECT_LE(handled, decoded);
    EXPECT_GE(shown, 1);
    EXPECT_GE(painted, shown);
}

// The program with env changes applied; returns its exit code, or -1 when it did
// not end normally within the bound.
int RunVelquor(const QStringList& args, const QMap<QString, QString>& set, const QStringList& unset,
               QString* out = nullptr, QString* err = nullptr) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : unset)
        env.remove(name);
    for (auto it = set.begin(); it != set.end(); ++it)
        env.insert(it.key(), it.value());
    process.setProcessEnvironment(env);
    process.start(VELQUOR_BINARY, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (out != nullptr)
        *out = QString::fromLocal8Bit(process.readAllStandardOutput());
    if (err != nullptr)
        *err = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitCode();
}

TEST(CommandLine, HelpVersionAndUsageErrorsNeedNoDisplay) {
    const QStringList noDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    QString out, err;
    EXPECT_EQ(RunVelquor({"--help"}, {}, noDisplay, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith("usage: velquor")) << out.toStdString();
    EXPECT_EQ(RunVelquor({"--version"}, {}, noDisplay, &out), 0);
    EXPECT_EQ(out, "velquor 1.1.0\n");
    EXPECT_EQ(RunVelquor({"--snapshot", "picture.bmp"}, {}, noDisplay, &out, &err), 2);
    EXPECT_TRUE(err.startsWith("velquor: --snapshot FILE must end in")) << err.toStdString();
}

TEST(CommandLine, AnUnattendedRunWithoutAMeterFails) {
    QTemporaryDir dir;
    const QString picture = dir.filePath("shot.png");
    const QMap<QString, QString> offscreen = {{"QT_QPA_PLATFORM", "offscreen"}};
    const QString missing = dir.filePath("no-such-meter");
    for (const QStringList& args : {QStringList{"--port", missing, "--snapshot", picture},
                                    QStringList{"--port", missing, "--quit-after", "30"}}) {
        QString err;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(RunVelquor(args, offscreen, {}, nullptr, &err), 1)
            << args.join(' ').toStdString();
        EXPECT_LT(clock.elapsed(), 25000);
        EXPECT_TRUE(err.contains("velquor: no meter could be opened")) << err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(picture));
}

TEST(CommandLine, SnapshotFormatFollowsTheExtension) {
    QTemporaryDir dir;
    const QMap<QString, QString> offscreen = {{"QT_QPA_PLATFORM", "offscreen"}};
    const struct {
        const char* name;
        QByteArray magic;
    } files[] = {{"shot.png", "\x89PNG"}, {"shot.JPG", "\xFF\xD8\xFF"}, {"shot.pdf", "%PDF"}};
    for (const auto& f : files) {
        const QString path = dir.filePath(f.name);
        QString err;
        ASSERT_EQ(RunVelquor({"--simulate", "--snapshot", path}, offscreen, {}, nullptr, &err), 0)
            << err.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << f.name;
        EXPECT_TRUE(file.read(8).startsWith(f.magic)) << f.name;
    }
}

}  // namespace
}  // namespace velquor
