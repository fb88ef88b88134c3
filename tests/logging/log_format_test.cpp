#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "logging/column_info.h"
#include "logging/log_format.h"

namespace velquor {
namespace {

const LogTimeStamp kMorning{9, 5, 3, 3, 7, 2008};

TEST(LogFormat, FirstLineNamesTheSerialNumber) {
    EXPECT_EQ(FormatLogFirstLine("PM000123"), "Orvane Virid Irivi RA-Serial Number PM000123\r\n");
    // A serial number that could not be read says so.
    EXPECT_EQ(FormatLogFirstLine(""), "Orvane Virid Irivi RA-Serial Number unknown\r\n");
}

// The measurement math the window applied to the powers it logs, named as
// velquor-cli log --offset names its offset.
TEST(LogFormat, NotesNameWhatWasAppliedToThePowers) {
    measure::MeasureSettings plain;
    EXPECT_EQ(FormatLogNotes(plain), "");
    plain.unit = measure::PowerUnit::Watt;  // the columns stay dBm and Watt
    plain.limits.upper_dbm = 10.0;          // judges the powers, changes none
    EXPECT_EQ(FormatLogNotes(plain), "");

    measure::MeasureSettings all;
    all.offset_db = 2.5;
    all.average_count = 16;
    all.max_hold = true;
    all.relative = true;
    all.reference_dbm = -10.0;
    EXPECT_EQ(FormatLogNotes(all),
              "# OFS +2.5 dB: offset_db=2.5 is added to every power below\r\n"
              "# AVG 16: every power below is the moving average of the last 16 readings, in "
              "linear power\r\n"
              "# MAX: every power below is the highest average held (max hold)\r\n"
              "# REL -10.00 dBm: the window shows every power below minus this reference, in "
              "dB\r\n");
    measure::MeasureSettings attenuator;
    attenuator.offset_db = -30.25;
    EXPECT_EQ(FormatLogNotes(attenuator),
              "# OFS -30.2 dB: offset_db=-30.25 is added to every power below\r\n");
    EXPECT_EQ(FormatLogNotesChange(FormatLogNotes(attenuator)), FormatLogNotes(attenuator));
    EXPECT_EQ(FormatLogNotesChange(""),
              "# every power below is the meter's reading as it came\r\n");
}

TEST(LogFormat, TitleLineEndsWithADelimiter) {
    EXPECT_EQ(FormatLogTitleLine(BuildLogColumns(true, true, nullptr), ','),
              "#,dBm,Watt,Temp(F/C),Time    ,Date,\r\n");
    EXPECT_EQ(FormatLogTitleLine(BuildLogColumns(true, false, nullptr), '\t'),
              "dBm\tWatt\tTemp(F/C)\tTime    \tDate\t\r\n");
    EXPECT_EQ(FormatLogTitleLine(BuildLogColumns(false, true, nullptr), ','), "");
}

TEST(LogFormat, RowsOfTheExample) {
    EXPECT_EQ(FormatLogRow(true, 0, {-12.34, 25.0}, kMorning, ','),
              "0,-12.34,0.00,77.0/25.0,09:05:03,03/07/2008,\r\n");
    LogTimeStamp next = kMorning;
    next.second = 4;
    EXPECT_EQ(FormatLogRow(true, 1, {10.0, 25.1}, next, ','),
              "1,10.00,0.01,77.2/25.1,09:05:04,03/07/2008,\r\n");
}

TEST(LogFormat, RowsUseAPointUnderACommaDecimalLocale) {
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if ((chosen = std::setlocale(LC_ALL, name)) != nullptr)
            break;
    }
    if (chosen == nullptr)
        GTEST_SKIP() << "no comma-decimal locale installed";
    const std::string row = FormatLogRow(true, 0, {7.0, 25.0}, kMorning, ';');
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(row, "0;7.00;0.01;77.0/25.0;09:05:03;03/07/2008;\r\n");
}

TEST(LogFormat, EachDelimiterFollowsEveryField) {
    for (const char delimiter : {'\t', ',', ' ', ';'}) {
        const std::string d(1, delimiter);
        EXPECT_EQ(FormatLogRow(true, 12, {7.0, 25.0}, kMorning, delimiter),
                  "12" + d + "7.00" + d + "0.01" + d + "77.0/25.0" + d + "09:05:03" + d +
                      "03/07/2008" + d + "\r\n");
        // Without the index the row has five fields.
        EXPECT_EQ(
            FormatLogRow(false, 12, {7.0, 25.0}, kMorning, delimiter),
            "7.00" + d + "0.01" + d + "77.0/25.0" + d + "09:05:03" + d + "03/07/2008" + d + "\r\n");
    }
}

TEST(LogFormat, WattIsWattWithTwoDecimals) {
    struct Case {
        double dbm;
        const char* watt;
    };
    for (const Case& c : {Case{7.0, "0.01"}, Case{6.98, "0.00"}, Case{20.0, "0.10"},
                          Case{50.0, "100.00"}, Case{-40.0, "0.00"}}) {
        const std::string row = FormatLogRow(false, 0, {c.dbm, 0.0}, kMorning, ',');
        EXPECT_EQ(
            row.substr(row.find(',') + 1, row.find(',', row.find(',') + 1) - row.find(',') - 1),
            c.watt)
            << c.dbm;
    }
}

TEST(LogFormat, TemperatureFahrenheitFirst) {
    const std::string row = FormatLogRow(false, 0, {0.0, -50.0}, kMorning, ',');
    EXPECT_NE(row.find(",-58.0/-50.0,"), std::string::npos) << row;
    const std::string hot = FormatLogRow(false, 0, {0.0, 100.0}, kMorning, ',');
    EXPECT_NE(hot.find(",212.0/100.0,"), std::string::npos) << hot;
}

TEST(LogFormat, TwoDigitParts) {
    EXPECT_EQ(TwoDigits(0), "00");
    EXPECT_EQ(TwoDigits(9), "09");
    EXPECT_EQ(TwoDigits(10), "10");
    EXPECT_EQ(TwoDigits(23), "23");
    EXPECT_EQ(TwoDigits(-1), "0-1");
    LogTimeStamp late{23, 59, 59, 12, 31, 1999};
    EXPECT_EQ(FormatLogRow(false, 0, {0.0, 0.0}, late, ',').substr(19), "23:59:59,12/31/1999,\r\n");
}

TEST(LogFormat, ValuesWrittenWhenLocalTimeFails) {
    EXPECT_EQ(FormatLogRow(false, 0, {0.0, 0.0}, FailedLocalTime(), ','),
              "0.00,0.00,32.0/0.0,0-1:0-1:0-1,00/00/0,\r\n");
    // A time beyond any year an int holds cannot be converted.
    const LogTimeStamp failed = LocalTimeStamp(std::numeric_limits<std::time_t>::max());
    EXPECT_EQ(failed.hour, -1);
    EXPECT_EQ(failed.minute, -1);
    EXPECT_EQ(failed.second, -1);
    EXPECT_EQ(failed.month, 0);
    EXPECT_EQ(failed.day, 0);
    EXPECT_EQ(failed.year, 0);
}

TEST(LogFormat, LocalTimeStampTakesTheLocalParts) {
    std::tm parts{};
    parts.tm_year = 2008 - 1900;
    parts.tm_mon = 2;
    parts.tm_mday = 7;
    parts.tm_hour = 9;
    parts.tm_min = 5;
    parts.tm_sec = 3;
    parts.tm_isdst = -1;
    const std::time_t t = std::mktime(&parts);
    ASSERT_NE(t, static_cast<std::time_t>(-1));
    const LogTimeStamp stamp = LocalTimeStamp(t);
    EXPECT_EQ(FormatLogRow(false, 0, {0.0, 0.0}, stamp, ',').substr(19),
              "09:05:03,03/07/2008,\r\n");
}

class RecordingHeader : public IColumnHeader {
public:
    void Clear() override { items.clear(); }
    int InsertItem(int position, const std::string& text, std::int32_t format,
                   std::int32_t widthChars) override {
        items.push_back({position, text, format, widthChars});
        return position + 100;
    }
    struct Item {
        int position;
        std::string text;
        std::int32_t format;
        std::int32_t width;
    };
    std::vector<Item> items;
};

TEST(LogColumns, BuiltInFileOrderWithTheirWidths) {
    RecordingHeader header;
    header.items.push_back({0, "stale", 0, 1});
    const std::vector<CColumnInfo> columns = BuildLogColumns(true, true, &header);
    const std::vector<std::string> titles = {"#", "dBm", "Watt", "Temp(F/C)", "Time    ", "Date"};
    ASSERT_EQ(columns.size(), titles.size());
    ASSERT_EQ(header.items.size(), titles.size());
    for (std::size_t i = 0; i < titles.size(); ++i) {
        EXPECT_EQ(columns[i].m_strHeading, titles[i]);
        EXPECT_EQ(columns[i].m_nWidthChars, i == 0 ? 5 : 20);
        EXPECT_EQ(columns[i].m_nFormat, kColumnFormatCentre);
        EXPECT_FALSE(columns[i].m_bFlag);
        EXPECT_EQ(header.items[i].position, static_cast<int>(i));
        EXPECT_EQ(header.items[i].text, titles[i]);
        EXPECT_EQ(header.items[i].width, columns[i].m_nWidthChars);
    }
    EXPECT_EQ(BuildLogColumns(true, false, nullptr).front().m_strHeading, "dBm");
    EXPECT_TRUE(BuildLogColumns(false, true, &header).empty());
    EXPECT_TRUE(header.items.empty());
}

TEST(LogColumns, InsertColumnAppendsAndReportsThePosition) {
    std::vector<CColumnInfo> columns;
    RecordingHeader header;
    EXPECT_EQ(InsertColumn(columns, &header, 1, 0, "a", 7, true), 100);
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_TRUE(columns[0].m_bFlag);
    EXPECT_EQ(columns[0].m_nFormat, 1);
    EXPECT_EQ(columns[0].m_nWidthChars, 7);
    // Without a header the position is what a header control reports: clamped to
    // the end, -1 for a negative one. The column is appended in every case.
    EXPECT_EQ(InsertColumn(columns, nullptr, 2, 5, "b", 3, false), 1);
    EXPECT_EQ(InsertColumn(columns, nullptr, 2, 0, "c", 3, false), 0);
    EXPECT_EQ(InsertColumn(columns, nullptr, 2, -3, "d", 3, false), -1);
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[3].m_strHeading, "d");
    const CColumnInfo fresh;
    EXPECT_FALSE(fresh.m_bFlag);
    EXPECT_EQ(fresh.m_nFormat, 0);
    EXPECT_TRUE(fresh.m_strHeading.empty());
}

}  // namespace
}  // namespace velquor
