#include <gtest/gtest.h>

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <filesystem>
#include <fstream>

#include "common/temp_dir.h"
#include "ui/measure_controller.h"
#include "ui/statistics_panel.h"

namespace velquor {
namespace {

std::unique_ptr<QSettings> Ini(const std::string& path) {
    return std::make_unique<QSettings>(QString::fromStdString(path), QSettings::IniFormat);
}

TEST(MeasureController, RefusedTextSaysWhyAndChangesNothing) {
    CMeasureController measure;
    QSignalSpy changed(&measure, &CMeasureController::changed);
    const measure::MeasureSettings before = measure.Settings();
    using Set = bool (*)(CMeasureController&, const std::string&, std::string&);
    const Set average = [](CMeasureController& m, const std::string& t, std::string& e) {
        return m.SetAverageCountText(t, e);
    };
    const Set offset = [](CMeasureController& m, const std::string& t, std::string& e) {
        return m.SetOffsetText(t, e);
    };
    const Set reference = [](CMeasureController& m, const std::string& t, std::string& e) {
        return m.SetReferenceText(t, e);
    };
    const struct {
        Set set;
        const char* text;
        const char* error;
    } cases[] = {
        {average, "abc",
         "Averaging count: \"abc\" is not a number; enter a whole number from 1 to 1024"},
        {average, "0", "Averaging count: 0 is out of range; enter a whole number from 1 to 1024"},
        {average, "1025",
         "Averaging count: 1025 is out of range; enter a whole number from 1 to 1024"},
        {offset, "100.5", "Offset: 100.5 is out of range; enter a number from -100 to 100 dB"},
        {reference, "nan",
         "Reference: \"nan\" is not a number; enter a number from -200 to 200 dBm"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(c.set(measure, c.text, error)) << c.text;
        EXPECT_EQ(error, c.error);
    }
    std::string error;
    EXPECT_FALSE(measure.SetLimitsText({true, "5", true, "10"}, error));
    EXPECT_EQ(error, "Upper limit (5.00 dBm) is below the lower limit (10.00 dBm)");
    EXPECT_FALSE(measure.SetRelative(true, error));
    EXPECT_EQ(error, "There is no reading yet to take as the reference");
    EXPECT_EQ(measure.Settings(), before);
    EXPECT_EQ(changed.count(), 0);
}

TEST(MeasureController, SettingsPersistAndAFirstRunWritesNothing) {
    testing::TempDir dir;
    const std::string ini = dir.File("velquor.conf");
    std::ofstream(dir.File("cable.txt")) << "100 1\n200 2\n";
    {
        CMeasureController measure;
        std::string warning;
        measure.AttachSettings(Ini(ini), warning);
        EXPECT_EQ(warning, "");
        EXPECT_FALSE(std::filesystem::exists(ini));
        std::string error;
        ASSERT_TRUE(measure.SetAverageCountText("64", error));
        ASSERT_TRUE(measure.SetOffsetText("30,5", error));  // a comma as decimal point
        ASSERT_TRUE(measure.SetReferenceText("-3.25", error));
        ASSERT_TRUE(measure.SetLimitsText({false, "40", true, "10"}, error));
        measure.SetMaxHold(true);
        measure.SetUnit(measure::PowerUnit::Volt);
        ASSERT_TRUE(measure.LoadLossTable(QString::fromStdString(dir.File("cable.txt")), error));
    }
    CMeasureController again;
    std::string warning;
    again.AttachSettings(Ini(ini), warning);
    EXPECT_EQ(warning, "");
    const measure::MeasureSettings& s = again.Settings();
    EXPECT_EQ(s.average_count, 64);
    EXPECT_DOUBLE_EQ(s.offset_db, 30.5);
    EXPECT_TRUE(s.relative);
    EXPECT_DOUBLE_EQ(s.reference_dbm, -3.25);
    EXPECT_FALSE(s.limits.upper_dbm);
    EXPECT_DOUBLE_EQ(again.UpperLimitValue(), 40.0);  // kept for the dialog while off
    EXPECT_EQ(s.limits.lower_dbm, 10.0);
    EXPECT_TRUE(s.max_hold);
    EXPECT_EQ(s.unit, measure::PowerUnit::Volt);
    ASSERT_TRUE(again.LossTable());
    EXPECT_EQ(again.LossTable()->Points().size(), 2u);
}

TEST(MeasureController, DamagedSettingsFallBackAndAreNamed) {
    testing::TempDir dir;
    const std::string ini = dir.File("velquor.conf");
    std::ofstream(ini) << "[Measure]\nAverageCount=5000\nOffsetDb=12\nUnit=furlong\n"
                          "UpperOn=true\nUpperDbm=1\nLowerOn=true\nLowerDbm=9\n"
                          "LossTable="
                       << dir.File("gone.csv") << "\n";
    CMeasureController measure;
    std::string warning;
    measure.AttachSettings(Ini(ini), warning);
    EXPECT_NE(warning.find("Averaging count: 5000 is out of range"), std::string::npos) << warning;
    EXPECT_NE(warning.find("unknown power unit \"furlong\""), std::string::npos) << warning;
    EXPECT_NE(warning.find("Upper limit (1.00 dBm) is below the lower limit"), std::string::npos);
    EXPECT_NE(warning.find("loss table not loaded: Cannot open"), std::string::npos);
    EXPECT_EQ(measure.Settings().average_count, 1);
    EXPECT_DOUBLE_EQ(measure.Settings().offset_db, 12.0);  // the good values stay
    EXPECT_FALSE(measure.Settings().limits.Any());
    EXPECT_FALSE(measure.LossTable());
}

TEST(MeasureController, ABadLossTableFileKeepsTheLoadedTable) {
    testing::TempDir dir;
    std::ofstream(dir.File("good.csv")) << "100 1\n200 2\n";
    {
        std::ofstream junk(dir.File("junk.bin"), std::ios::binary);
        unsigned state = 5;
        for (int i = 0; i < (10 << 20); ++i) {
            state = state * 1103515245u + 12345u;
            junk.put(static_cast<char>(state >> 23));
        }
        std::ofstream big(dir.File("big.csv"), std::ios::binary);
        big << std::string(CMeasureController::kMaxLossTableBytes + 1, '#');
    }
    CMeasureController measure;
    std::string error;
    ASSERT_TRUE(measure.LoadLossTable(QString::fromStdString(dir.File("good.csv")), error));
    for (const char* name : {"junk.bin", "big.csv", "missing.csv"}) {
        error.clear();
        EXPECT_FALSE(measure.LoadLossTable(QString::fromStdString(dir.File(name)), error));
        EXPECT_NE(error.find(name), std::string::npos) << error;
        ASSERT_TRUE(measure.LossTable());
        EXPECT_EQ(measure.LossTable()->Points().size(), 2u);
    }
    EXPECT_FALSE(measure.LoadLossTable(QString::fromStdString(dir.File("junk.bin")), error));
    EXPECT_NE(error.find(": Line "), std::string::npos) << error;
    EXPECT_EQ(*measure.LossForFrequencyText("150", error), 1.5);
    EXPECT_FALSE(measure.LossForFrequencyText("1e9", error));
}

TEST(StatisticsPanel, ShowsTheFiguresAndResets) {
    CMeasureController measure;
    std::string error;
    ASSERT_TRUE(measure.SetLimitsText({true, "10", false, ""}, error));
    measure.OnReading(0.0, 0);
    measure.OnReading(20.0, 2'000'000'000);
    measure.OnReading(10.0, 65'000'000'000);
    CStatisticsPanel panel(measure, nullptr);
    panel.Refresh();
    EXPECT_EQ(panel.Value("Count"), "3");
    EXPECT_EQ(panel.Value("Min"), "0.00 dBm");
    EXPECT_EQ(panel.Value("Max"), "20.00 dBm");
    EXPECT_EQ(panel.Value("Mean"), "15.68 dBm");  // (1 + 100 + 10) / 3 mW
    EXPECT_EQ(panel.Value("Elapsed"), "0:01:05");
    EXPECT_EQ(panel.Value("Failures"), "1 (1 high, 0 low)");
    panel.findChild<QPushButton*>("statisticsReset")->click();
    EXPECT_EQ(panel.Value("Count"), "0");
    EXPECT_EQ(panel.Value("Max"), "-");
    EXPECT_EQ(panel.Value("Failures"), "0 (0 high, 0 low)");
}

}  // namespace
}  // namespace velquor
