#include "app/unattended_prompt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace velquor {
namespace {

std::string Written(std::FILE* f) {
    std::rewind(f);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, f) != nullptr)
        text += buffer;
    return text;
}

TEST(CUnattendedPrompt, AnswersWithoutAnyoneThereAndWritesOneLineEach) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    CUnattendedPrompt prompt(out);
    prompt.ShowMessage("Unit not found.\nCheck the cable.\t", "Orvane ViridIrivi RA");
    EXPECT_FALSE(prompt.AskYesNo("Low frequency?", "Orvane ViridIrivi RA"));
    int selected = -1;
    EXPECT_TRUE(
        prompt.SelectDevice({"A1 - Orvane Power Meter", "B2 - Orvane Power Meter"}, selected));
    EXPECT_EQ(selected, 0);
    EXPECT_FALSE(prompt.SelectDevice({}, selected));
    EXPECT_EQ(Written(out),
              "velquor: Unit not found. Check the cable.\n"
              "velquor: Low frequency? -> No\n"
              "velquor: using the first meter: A1 - Orvane Power Meter\n");
    std::fclose(out);
}

}  // namespace
}  // namespace velquor
