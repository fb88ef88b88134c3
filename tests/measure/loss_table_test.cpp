#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "measure/loss_table.h"

namespace velquor::measure {
namespace {

LossTable Parse(std::string_view text) {
    LossTableParse parsed = ParseLossTable(text);
    EXPECT_TRUE(parsed.table) << parsed.error;
    return parsed.table.value_or(LossTable{});
}

TEST(LossTable, ReadsCommaOrBlankSeparatedPairsWithHeaderAndComments) {
    const LossTable table = Parse(
        "# coupler C-12, measured 2024-03-01\n"
        "Frequency (MHz), Loss (dB)\n"
        "\n"
        "100, 0.5\r\n"
        "  1000\t 2.0   # after the bend\n"
        "2000 3.5\n"
        "+2500,25.5");
    ASSERT_EQ(table.Points().size(), 4u);
    EXPECT_EQ(table.Points()[0].line, 4);
    EXPECT_EQ(table.Points()[3].line, 7);
    const struct {
        double mhz;
        double loss;
    } cases[] = {
        {100.0, 0.5}, {550.0, 1.25}, {1000.0, 2.0}, {1500.0, 2.75}, {2500.0, 25.5}, {2250.0, 14.5},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto loss = table.LossAt(c.mhz, error);
        ASSERT_TRUE(loss) << c.mhz << ": " << error;
        EXPECT_NEAR(*loss, c.loss, 1e-12) << c.mhz;
    }
}

// A spreadsheet's "CSV UTF-8" starts with a byte-order mark and ends lines with CR LF.
TEST(LossTable, ReadsWhatASpreadsheetSaves) {
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"mark before a number", bom + "700,1.0\r\n2700,2.0\r\n"},
        {"mark before the header", bom + "MHz,dB\r\n700,1.0\r\n2700,2.0\r\n"},
        {"no mark", "700,1.0\r\n2700,2.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LossTable table = Parse(c.text);
        ASSERT_EQ(table.Points().size(), 2u);
        EXPECT_EQ(table.Points()[0].frequency_mhz, 700.0);
        EXPECT_EQ(table.Points()[1].loss_db, 2.0);
    }
    // Only at the start: a mark inside the text is not a number.
    EXPECT_EQ(ParseLossTable("700,1.0\n" + bom + "2700,2.0\n").error_line, 2);
    const std::string utf16 = {'\xFF', '\xFE', '7', '\0', '0', '\0'};
    const LossTableParse parsed = ParseLossTable(utf16);
    EXPECT_FALSE(parsed.table);
    EXPECT_EQ(parsed.error, "The loss table is UTF-16 text; save it as CSV or CSV UTF-8");
}

// The meter stores tenths; an exact half rounds down, whatever binary floating
// point makes of 0.15 or 1.15.
TEST(LossTable, TheStoredLossRoundsAnExactHalfDown) {
    const struct {
        const char* table;
        double mhz;
        int tenths;
    } cases[] = {
        {"700 0.1\n800 0.2\n", 750, 1},     {"700 1.1\n800 1.2\n", 750, 11},
        {"700 0.1\n800 0.2\n", 751, 2},     {"700 0.1\n800 0.2\n", 749, 1},
        {"700 0.1\n800 0.2\n", 700, 1},     {"700 0.1\n800 0.2\n", 800, 2},
        {"100 0.15\n200 0.15\n", 150, 1},   {"100 0.06\n200 0.34\n", 130, 1},
        {"100 0.7\n200 0.7\n", 150, 7},     {"100 25.45\n200 25.5\n", 100, 254},
        {"100 25.4\n200 25.5\n", 200, 255}, {"0.5 0\n1.5 0.3\n", 1, 1},
        {"700.5 0.1\n800.5 0.2\n", 750, 1},  // 0.1495 dB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.table) + " at " + std::to_string(c.mhz));
        const LossTable table = Parse(c.table);
        std::string error;
        const auto tenths = table.LossTenthsAt(c.mhz, error);
        ASSERT_TRUE(tenths) << error;
        EXPECT_EQ(*tenths, c.tenths);
    }
    // Every half between two neighbouring tenths the meter can store.
    for (int a = 0; a < 255; ++a) {
        const std::string text = "700 " + std::to_string(a / 10) + "." + std::to_string(a % 10) +
                                 "\n800 " + std::to_string((a + 1) / 10) + "." +
                                 std::to_string((a + 1) % 10) + "\n";
        const LossTable table = Parse(text);
        std::string error;
        EXPECT_EQ(table.LossTenthsAt(750, error), a) << text;
        EXPECT_EQ(table.LossTenthsAt(751, error), a + 1) << text;
    }
    std::string error;
    EXPECT_FALSE(Parse("100 1\n200 2\n").LossTenthsAt(201, error));
    EXPECT_EQ(error, "Frequency 201 MHz is above the loss table's last point, 200 MHz (line 2)");
}

TEST(LossTable, NeverGuessesOutsideItsRange) {
    const LossTable table = Parse("100 1\n200 2\n");
    std::string error;
    EXPECT_FALSE(table.LossAt(99.9, error));
    EXPECT_EQ(error, "Frequency 99.9 MHz is below the loss table's first point, 100 MHz (line 1)");
    EXPECT_FALSE(table.LossAt(6000, error));
    EXPECT_EQ(error, "Frequency 6000 MHz is above the loss table's last point, 200 MHz (line 2)");
}

TEST(LossTable, ErrorsNameTheLine) {
    const struct {
        const char* name;
        std::string text;
        int line;
        std::string error;
    } cases[] = {
        {"one point", "# only one\n100 1\n", 0,
         "The loss table has only one point; it needs at least two"},
        {"empty", "# nothing\n\n", 0, "The loss table has no points; it needs at least two"},
        {"duplicate frequency", "100 1\n200 2\n200 3\n", 3,
         "Line 3: frequency 200 MHz is not above 200 MHz on line 2; the frequencies must increase"},
        {"decreasing", "100 1\n\n50 2\n", 3,
         "Line 3: frequency 50 MHz is not above 100 MHz on line 1; the frequencies must increase"},
        {"loss too high", "100 1\n200 25.6\n", 2,
         "Line 2: loss 25.6 dB is outside what the meter stores, 0.0 to 25.5 dB"},
        {"negative loss", "100 -0.1\n200 1\n", 1,
         "Line 1: loss -0.1 dB is outside what the meter stores, 0.0 to 25.5 dB"},
        {"zero frequency", "0 1\n200 1\n", 1, "Line 1: frequency 0 MHz is not above 0 MHz"},
        {"beyond 1 THz", "100 1\n1e6 1\n1000000.1 1\n", 3,
         "Line 3: frequency 1000000.1 MHz is above 1000000 MHz"},
        {"less than a hertz apart", "100 1\n100.0000001 1\n", 2,
         "Line 2: frequency 100.0000001 MHz is not above 100 MHz on line 1; the frequencies "
         "must increase"},
        {"three fields", "100 1\n200 1 3\n", 2,
         "Line 2: expected a frequency in MHz and a loss in dB, found \"200 1 3\""},
        {"empty field", "100,,1\n200 1\n", 1,
         "Line 1: expected a frequency in MHz and a loss in dB, found \"100,,1\""},
        {"trailing text", "100 1dB\n200 1\n", 1,
         "Line 1: expected a frequency in MHz and a loss in dB, found \"100 1dB\""},
        {"nan", "100 1\n200 nan\n", 2,
         "Line 2: expected a frequency in MHz and a loss in dB, found \"200 nan\""},
        {"second header", "MHz dB\n100 1\nMHz dB\n", 3,
         "Line 3: expected a frequency in MHz and a loss in dB, found \"MHz dB\""},
        {"binary", "\x01\x02\xff junk\n100 1\n", 1,
         "Line 1: expected a frequency in MHz and a loss in dB, found \"??? junk\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LossTableParse parsed = ParseLossTable(c.text);
        EXPECT_FALSE(parsed.table);
        EXPECT_EQ(parsed.error_line, c.line);
        EXPECT_EQ(parsed.error, c.error);
    }
}

TEST(LossTable, TenMegabytesOfJunkFailQuickly) {
    std::string junk(10 << 20, '\0');
    unsigned state = 1;
    for (char& c : junk) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 23);
    }
    std::string one_line(10 << 20, '7');  // no line end at all
    std::string many_points;
    for (int i = 1; many_points.size() < (10u << 20); ++i)
        many_points += std::to_string(i) + ",1.5\n";

    const auto start = std::chrono::steady_clock::now();
    const LossTableParse a = ParseLossTable(junk);
    const LossTableParse b = ParseLossTable(one_line);
    const LossTableParse c = ParseLossTable(many_points);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_FALSE(a.table);
    EXPECT_GT(a.error_line, 0);
    EXPECT_LE(a.error.size(), 120u);  // the line is quoted short, not whole
    EXPECT_FALSE(b.table);
    EXPECT_EQ(b.error_line, 1);
    EXPECT_LE(b.error.size(), 120u);
    EXPECT_FALSE(c.table);
    EXPECT_EQ(c.error, "Line 10001: the table has more than 10000 points");
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

}  // namespace
}  // namespace velquor::measure
