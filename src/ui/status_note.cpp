#include "ui/status_note.h"

namespace velquor {

std::string FormatStatusNote(const StatusNoteState& state) {
    std::string away;
    if (state.awaySeconds) {
        away = "Meter lost " + std::to_string(*state.awaySeconds) + " s ago; reconnecting...";
        if (!state.awayNote.empty())
            away += " (" + state.awayNote + ")";
    }
    std::string saving;
    if (!state.logFile.empty()) {
        saving = "Saving to " + state.logFile + ": " + std::to_string(state.logRows) +
                 (state.logRows == 1 ? " row" : " rows");
    }
    if (away.empty() && saving.empty())
        return "Ready";
    if (away.empty() || saving.empty())
        return away + saving;
    return away + "   " + saving;
}

}  // namespace velquor
