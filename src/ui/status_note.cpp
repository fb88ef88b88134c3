#include "ui/status_note.h"

namespace velquor {

namespace {

std::string Rows(int rows) {
    return std::to_string(rows) + (rows == 1 ? " row" : " rows");
}

// What a user of a desktop without the meter's setup needs to check first.
std::string Hint(const StatusNoteState& state) {
    // Short enough for the status bar of the standard window.
    if (!state.endedLogFile.empty()) {
        const std::size_t slash = state.endedLogFile.find_last_of('/');
        const std::string name =
            slash == std::string::npos ? state.endedLogFile : state.endedLogFile.substr(slash + 1);
        return "Meter lost: the log to " + name + " ended after " + Rows(state.endedLogRows) +
               " (Reconnect Automatically keeps logs going)";
    }
    if (state.meterLost)
        return "Meter lost: press Connect Units once it is back";
    if (state.noMeterLooks > 0) {
        std::string note = "No meter found";
        if (state.noMeterLooks > 1)
            note += " (" + std::to_string(state.noMeterLooks) + " tries)";
        return note + ": check the cable and the udev rule for /dev/ttyUSB*, or use --simulate";
    }
    return "Ready";
}

std::string Note(const StatusNoteState& state) {
    std::string away;
    if (state.awaySeconds) {
        away = "Meter lost " + std::to_string(*state.awaySeconds) + " s ago; reconnecting...";
        if (!state.awayNote.empty())
            away += " (" + state.awayNote + ")";
    }
    std::string saving;
    if (!state.logFile.empty()) {
        saving = "Saving to " + state.logFile + ": " + Rows(state.logRows);
    }
    if (away.empty() && saving.empty())
        return Hint(state);
    if (away.empty() || saving.empty())
        return away + saving;
    return away + "   " + saving;
}

}  // namespace

std::string FormatStatusNote(const StatusNoteState& state) {
    std::string note = Note(state);
    if (state.droppedReadings == 0)
        return note;
    const std::string dropped = std::to_string(state.droppedReadings) +
                                (state.droppedReadings == 1 ? " reading" : " readings") +
                                " missed since the window opened (it fell behind the meter)";
    return note == "Ready" ? dropped : note + "   " + dropped;
}

}  // namespace velquor
