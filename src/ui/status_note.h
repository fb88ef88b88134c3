#pragma once

#include <optional>
#include <string>

namespace velquor {

// What the status bar's message pane says when nothing else is shown there.
struct StatusNoteState {
    // A log is being written to this file (empty: no log).
    std::string logFile;
    int logRows = 0;
    // Whole seconds since the meter was lost while a reconnect wait is on, and what
    // the last look found (may be empty).
    std::optional<int> awaySeconds;
    std::string awayNote;
};

// "Ready"; "Saving to FILE: N rows"; "Meter lost N s ago; reconnecting..." (with
// what the last look found in brackets); or the last two joined.
std::string FormatStatusNote(const StatusNoteState& state);

}  // namespace velquor
