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

}  // namespace
}  // namespace velquor
