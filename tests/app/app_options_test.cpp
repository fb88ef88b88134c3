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
