#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "display/trace_graph.h"

namespace velquor {

inline constexpr int kTraceTimerId = 205;
inline constexpr int kTraceTimerIntervalMs = 1000;
inline constexpr int kTraceSliderMax = 100;
inline constexpr int kTraceMaxPeriodSeconds = 3600;
inline constexpr const char* kMsgTracePeriodNotANumber =
    "Set Period (Second): \"%s\" is not a number! Enter more than 0, up to 3600 seconds.";

enum class TraceTimerChange { kNone, kStart, kStop };

// What the view must do after a recorder operation, applied in this order:
// message, timer, slider, graph, graph window, invalidate.
struct TraceViewAction {
    std::string message;  // non-empty: modal message box with the application title
    TraceTimerChange timer = TraceTimerChange::kNone;  // kStart (re)starts timer 205 at 1000 ms
    std::optional<int> sliderPosition;  // send to the trace slider (0..100), with redraw
    bool drawGraph = false;             // run the graph routine now, not through a repaint
    bool showGraphWindow = false;       // place the graph window at (234, 187), 510 x 235, show it
    bool invalidateView = false;        // repaint the whole view with erase
};

// Records the shown power once per tick into a history of 3600 samples and keeps the window
// of up to 450 samples that the trace graph shows.
//
// The write position (samples taken since Play) is kept apart from the window, so scrolling
// while recording never changes where samples go. The window never reaches past the newest
// sample or the last history entry.
class CTraceRecorder {
public:
    enum class State { kIdle, kRecording, kPaused, kFinished };

    CTraceRecorder() = default;

    // Play: resumes a paused recording, otherwise starts a new one of the period typed.
    TraceViewAction Play(std::string_view periodText);
    TraceViewAction Stop();
    TraceViewAction Pause();
    // One timer tick; shownPower is the power as last shown (dBm), utcMs the time it
    // was taken (ms since 1970, UTC).
    TraceViewAction Tick(double shownPower, std::int64_t utcMs = 0);
    // The slider was released at position (0..100), on the progress scale the thumb
    // shows: the window ends at that point of the period, never past the newest
    // sample; at or past the thumb's own place it follows the recording again.
    TraceViewAction OnSliderReleased(int position);

    // trunc(100 / period x samples taken); 0 before the first Play and after Stop.
    int ProgressPosition() const;
    // The period edit's text: the period in samples as "%d".
    std::string PeriodText() const;

    // The graph routine's computation; keeps the scale as the recorder's top and bottom.
    TraceGraphModel Graph(TraceTextExtent timeTitle, TraceTextExtent powerTitle,
                          TraceTextExtent clockTitle = {});
    TraceGraphInput GraphInput(TraceTextExtent timeTitle, TraceTextExtent powerTitle,
                               TraceTextExtent clockTitle = {}) const;

    // Scale, limits and time axis of the graph; the defaults draw it as it always was.
    void SetGraphOptions(const TraceGraphOptions& options) { m_options = options; }
    const TraceGraphOptions& GraphOptions() const { return m_options; }

    // The samples of the latest recording, oldest first (at most 3600).
    std::span<const double> RecordedSamples() const;
    // The UTC time (ms) each of them was taken.
    std::span<const std::int64_t> RecordedTimes() const;

    State CurrentState() const;
    bool Running() const { return m_bTraceRunning; }
    bool Paused() const { return m_bTracePaused; }
    int Count() const { return m_nTraceCount; }
    int Offset() const { return m_nTraceOffset; }
    int Period() const { return m_nTracePeriod; }
    int Written() const { return m_nTraceWritten; }
    double ScaleMax() const { return m_dTraceMax; }
    double ScaleMin() const { return m_dTraceMin; }
    std::span<const double> History() const { return m_dTrace; }

private:
    // Window over the newest samples while a recording runs.
    void FollowNewest();
    // Window over the last full window of what was recorded (or all of a short recording).
    void ShowEnd();
    int Stored() const;
    TraceViewAction Start(TraceViewAction action);
    // Ends the recording once the period is complete; returns whether it did.
    bool EndIfComplete(TraceViewAction& action);

    std::array<double, kTraceHistorySize> m_dTrace{};
    std::array<std::int64_t, kTraceHistorySize> m_times{};
    TraceGraphOptions m_options;
    int m_nTraceCount = -1;
    int m_nTraceOffset = 0;
    int m_nTracePeriod = 0;
    int m_nTraceWritten = 0;  // next history index to write: samples taken since Play
    bool m_bTraceRunning = false;
    bool m_bTracePaused = false;
    bool m_bTraceFollowing = true;  // the window moves with each new sample
    double m_dTraceMax = 50.0;
    double m_dTraceMin = 0.0;
};

}  // namespace velquor
