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
            EXPECT_EQ(error, std::string("--snapshot FILE must end in .png, .jpg, .jpeg or .pdf, "
                                         "not '") +
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
}  // namespace velquor
