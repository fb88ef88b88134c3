#include "ui/status_note.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

TEST(StatusNote, SaysWhatIsGoingOn) {
    const struct {
        StatusNoteState state;
        const char* note;
    } cases[] = {
        {{}, "Ready"},
        {{"/data/run.txt", 0, {}, ""}, "Saving to /data/run.txt: 0 rows"},
        {{"/data/run.txt", 1, {}, ""}, "Saving to /data/run.txt: 1 row"},
        {{"", 0, 12, ""}, "Meter lost 12 s ago; reconnecting..."},
        {{"", 0, 3, "found OV2 instead of OV1"},
         "Meter lost 3 s ago; reconnecting... (found OV2 instead of OV1)"},
        {{"run.txt", 7, 0, ""}, "Meter lost 0 s ago; reconnecting...   Saving to run.txt: 7 rows"},
        // Nothing going on, but something to tell.
        {{"", 0, {}, "", true, "", 0, 0}, "Meter lost: press Connect Units once it is back"},
        {{"", 0, {}, "", true, "/data/run.txt", 1, 0},
         "Meter lost: the log to run.txt ended after 1 row (Reconnect Automatically keeps logs "
         "going)"},
        {{"", 0, {}, "", false, "", 0, 1},
         "No meter found: check the cable and the udev rule for /dev/ttyUSB*, or use --simulate"},
        {{"", 0, {}, "", false, "", 0, 3},
         "No meter found (3 tries): check the cable and the udev rule for /dev/ttyUSB*, or use "
         "--simulate"},
        // What is going on comes first.
        {{"run.txt", 2, {}, "", false, "", 0, 2}, "Saving to run.txt: 2 rows"},
        // Readings the window fell behind on are told after the rest.
        {{"", 0, {}, "", false, "", 0, 0, 1},
         "1 reading missed since the window opened (it fell behind the meter)"},
        {{"run.txt", 2, {}, "", false, "", 0, 0, 40},
         "Saving to run.txt: 2 rows   40 readings missed since the window opened (it fell "
         "behind the meter)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatStatusNote(c.state), c.note);
}

}  // namespace
}  // namespace velquor
