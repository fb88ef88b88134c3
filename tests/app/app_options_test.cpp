#include "app/app_options.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

TEST(AppOptions, QuitAfterTakesPlainSeconds) {
    const struct {
        const char* text;
        double seconds;
    } good[] = {{"0", 0.0}, {"60", 60.0}, {"2.5", 2.5}, {".5", 0.5}, {"600.", 600.0}};
    for (const auto& c : good) {
        AppOptions o;
        std::string error;
        ASSERT_TRUE(ParseAppOptions({"--port", "/dev/pts/3", "--quit-after", c.text}, o, error))
            << c.text << ": " << error;
        EXPECT_DOUBLE_EQ(o.quitAfterS, c.seconds) << c.text;
        EXPECT_EQ(o.port, "/dev/pts/3");
    }
    AppOptions none;
    std::string error;
    ASSERT_TRUE(ParseAppOptions({"--simulate"}, none, error));
    EXPECT_LT(none.quitAfterS, 0.0);
}

TEST(AppOptions, QuitAfterRejectsWhatIsNotANumberOfSeconds) {
    for (const char* bad : {"", "-1", "10s", "1e3", "1.2.3", ".", "nan", "inf", " 5", "+5"}) {
        AppOptions o;
        std::string error;
        EXPECT_FALSE(ParseAppOptions({"--quit-after", bad}, o, error)) << '"' << bad << '"';
        EXPECT_EQ(error, std::string("--quit-after needs a number of seconds, not '") + bad + "'");
    }
    AppOptions o;
    std::string error;
    EXPECT_FALSE(ParseAppOptions({"--simulate", "--quit-after"}, o, error));
    EXPECT_EQ(error, "--quit-after needs a value");
}

TEST(AppOptions, SnapshotFormatFollowsTheExtensionOrIsRefused) {
    const struct {
        const char* file;
        std::optional<SnapshotFormat> format;
    } cases[] = {{"a.png", SnapshotFormat::kPng},
                 {"dir/A.PNG", SnapshotFormat::kPng},
                 {"a.jpg", SnapshotFormat::kJpeg},
                 {"a.JPEG", SnapshotFormat::kJpeg},
                 {"a.pdf", SnapshotFormat::kPdf},
                 {"trace.CSV", SnapshotFormat::kCsv},
                 {"a.bmp", std::nullopt},
                 {"png", std::nullopt},
                 {"a.png.txt", std::nullopt},
                 {".png", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(SnapshotFormatOf(c.file), c.format) << c.file;
        AppOptions o;
        std::string error;
        EXPECT_EQ(ParseAppOptions({"--snapshot", c.file}, o, error), c.format.has_value())
            << c.file;
        if (!c.format) {
            EXPECT_EQ(error, std::string("--snapshot FILE must end in .png, .jpg, .jpeg, .pdf or "
                                         ".csv, not '") +
                                 c.file + "'");
        }
    }
}

TEST(AppOptions, AfterTakesPlainSecondsToo) {
    AppOptions o;
    std::string error;
    EXPECT_FALSE(ParseAppOptions({"--snapshot", "a.png", "--after", "3abc"}, o, error));
    EXPECT_EQ(error, "--after needs a number of seconds, not '3abc'");
    ASSERT_TRUE(ParseAppOptions({"--snapshot", "a.png", "--after", "2.5"}, o, error));
    EXPECT_DOUBLE_EQ(o.snapshotAfterS, 2.5);
}

TEST(AppOptions, QtOptionsAreLeftToQt) {
    EXPECT_EQ(WithoutQtOptions({"-platform", "offscreen", "--simulate", "-reverse", "-style",
                                "fusion", "--port", "/dev/pts/1", "-h"}),
              (std::vector<std::string>{"--simulate", "--port", "/dev/pts/1", "-h"}));
    AppOptions o;
    std::string error;
    EXPECT_TRUE(ParseAppOptions(WithoutQtOptions({"-platform", "xcb", "--reconnect"}), o, error));
    EXPECT_TRUE(o.reconnect);
}

}  // namespace
}  // namespace velquor

namespace velquor {
namespace {

TEST(AppOptions, MeterOptionsChooseTheStationWindow) {
    const struct {
        std::vector<std::string> args;
        bool station;
        const char* serve;  // nullptr: not serving
    } good[] = {
        {{"--simulate"}, false, nullptr},
        {{"--simulate", "4"}, true, nullptr},
        {{"--port", "/dev/a", "--port", "/dev/b"}, true, nullptr},
        {{"--port", "/dev/a", "--serve"}, true, "127.0.0.1:5025"},
        {{"--serve", "0.0.0.0:6000", "--simulate"}, true, "0.0.0.0:6000"},
        {{"--serial", "OV227701", "--keep-going"}, true, nullptr},
        {{"--all"}, true, nullptr},
    };
    for (const auto& c : good) {
        AppOptions o;
        std::string error;
        ASSERT_TRUE(ParseAppOptions(c.args, o, error)) << c.args[0] << ": " << error;
        EXPECT_EQ(o.StationWindow(), c.station) << c.args[0];
        EXPECT_EQ(o.serve.has_value(), c.serve != nullptr);
        EXPECT_EQ(o.serve.value_or("-"), c.serve ? c.serve : "-");
    }
    const struct {
        std::vector<std::string> args;
        const char* error;
    } bad[] = {
        {{"--simulate", "17"}, "--simulate takes 1 to 16 meters, not '17'"},
        {{"--simulate", "2.5"}, "--simulate takes 1 to 16 meters, not '2.5'"},
        {{"--all", "--port", "/dev/a"},
         "--all opens every meter found; it cannot be used with --port, --serial or --simulate"},
        {{"--serve", "localhost"}, nullptr},
    };
    for (const auto& c : bad) {
        AppOptions o;
        std::string error;
        EXPECT_FALSE(ParseAppOptions(c.args, o, error)) << c.args[0];
        const std::string expected = c.error ? c.error : "--serve takes ADDRESS:PORT";
        EXPECT_EQ(error.substr(0, c.error ? std::string::npos : expected.size()), expected);
    }
}

}  // namespace

TEST(AppOptions, MeasurementAndTraceOptionsAreCheckedAsTheCliChecksThem) {
    const struct {
        std::vector<std::string> args;
        const char* error;  // empty: accepted
    } cases[] = {
        {{"--upper", "12", "--lower", "8", "--trace-period", "1"}, ""},
        {{"--average", "16", "--offset", "-3,5", "--unit", "W", "--relative", "0"}, ""},
        {{"--upper", "abc"}, "--upper: \"abc\" is not a number; enter a number from -200 to 200 dBm"},
        {{"--average", "2.5"}, "--average: \"2.5\" is not a whole number; enter a whole number "
                               "from 1 to 1024 readings"},
        {{"--offset", "101"}, "--offset: 101 is out of range; enter a number from -100 to 100 dB"},
        {{"--upper", "5", "--lower", "8"}, "--upper must not be below --lower"},
        {{"--unit", "dbw"}, "--unit takes dbm, w, dbuv or v, not \"dbw\""},
        {{"--upper", ""}, "--upper needs a value"},
        {{"--lower"}, "--lower needs a value"},
        {{"--trace-period", "0"}, "--trace-period must be more than 0 seconds, up to 3600"},
        {{"--trace-period", "3601"}, "--trace-period: 3601 is out of range; enter a number from 0 "
                                     "to 3600 seconds"},
        {{"--trace-period", "1s"}, "--trace-period: \"1s\" is not a number; enter a number from 0 "
                                   "to 3600 seconds"},
        {{"--rolling", "24"}, ""},
        {{"--rolling", "0"}, "--rolling must be more than 0 hours, up to 24"},
        {{"--rolling", "25"}, "--rolling: 25 is out of range; enter a number from 0 to 24 hours"},
        {{"--simulate", "2", "--upper", "1"}, "--average, --offset, --relative, --upper, --lower "
                                              "and --unit: for the one-meter window only, not "
                                              "with several meters, --serial, --all, --serve or "
                                              "--publish"},
        {{"--all", "--trace-period", "5"}, "--trace-period: for the one-meter window only, not "
                                           "with several meters, --serial, --all, --serve or "
                                           "--publish"},
        {{"--serial", "X", "--snapshot", "t.csv"}, "--snapshot FILE.csv: for the one-meter window "
                                                   "only, not with several meters, --serial, "
                                                   "--all, --serve or --publish"},
    };
    for (const auto& c : cases) {
        AppOptions o;
        std::string error;
        const bool ok = ParseAppOptions(c.args, o, error);
        EXPECT_EQ(ok, std::string(c.error).empty()) << c.args[0] << " " << error;
        if (!ok) {
            EXPECT_EQ(error, c.error);
        }
    }

    AppOptions o;
    std::string error;
    ASSERT_TRUE(ParseAppOptions({"--simulate", "--upper", "12", "--lower", "8", "--offset", "1.5",
                                 "--average", "4", "--trace-period", "30"},
                                o, error))
        << error;
    ASSERT_TRUE(o.measure.has_value());
    EXPECT_EQ(o.measure->limits, (measure::UserLimits{12.0, 8.0}));
    EXPECT_DOUBLE_EQ(o.measure->offset_db, 1.5);
    EXPECT_EQ(o.measure->average_count, 4);
    EXPECT_EQ(o.tracePeriod, "30");
    // Without any of them the kept settings stay in charge.
    AppOptions plain;
    ASSERT_TRUE(ParseAppOptions({"--simulate"}, plain, error));
    EXPECT_FALSE(plain.measure.has_value());
}

}  // namespace velquor
