#pragma once

#include <cstdint>
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
    // The meter was lost and nobody waits for it (reconnecting is off); the log it
    // ended then (its path; empty: none ran), with its rows.
    bool meterLost = false;
    std::string endedLogFile{};
    int endedLogRows = 0;
    // How many connects in a row found no meter to open (0: the last one did, or
    // none has run).
    int noMeterLooks = 0;
    // Readings the window fell behind on and never saw.
    std::uint64_t droppedReadings = 0;
};

// "Ready"; "Saving to FILE: N rows"; "Meter lost N s ago; reconnecting..." (with
// what the last look found in brackets), or the last two joined. Otherwise what
// went wrong and what to do about it: a lost meter (and the log it ended), or no
// meter found. Readings the window fell behind on are told after any of these.
std::string FormatStatusNote(const StatusNoteState& state);

}  // namespace velquor
