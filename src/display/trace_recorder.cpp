#include "display/trace_recorder.h"

#include <algorithm>
#include <limits>

#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

namespace {

// Any finite number gets past the parse; the range is checked on its own below.
constexpr double kAnyNumber = std::numeric_limits<double>::max();

}  // namespace

namespace {

// While following, the window keeps one position free past the newest sample.
constexpr int kFollowCount = kTraceWindowSize - 1;

}  // namespace

int CTraceRecorder::Stored() const {
    return std::min(m_nTraceWritten, kTraceHistorySize);
}

void CTraceRecorder::FollowNewest() {
    const int stored = Stored();
    m_nTraceCount = stored < kTraceWindowSize ? stored : kFollowCount;
    m_nTraceOffset = stored - m_nTraceCount;
}

void CTraceRecorder::ShowEnd() {
    const int stored = Stored();
    m_nTraceCount = std::min(stored, kTraceWindowSize);
    m_nTraceOffset = stored - m_nTraceCount;
}

TraceViewAction CTraceRecorder::Start(TraceViewAction action) {
    m_bTraceRunning = true;
    m_bTraceFollowing = true;
    action.sliderPosition = ProgressPosition();
    action.drawGraph = true;
    action.showGraphWindow = true;
    action.timer = TraceTimerChange::kStart;
    return action;
}

TraceViewAction CTraceRecorder::Play(std::string_view periodText) {
    TraceViewAction action;
    if (m_bTracePaused) {
        m_bTracePaused = false;
        if (m_nTraceWritten >= kTraceHistorySize) {
            // Nothing more can be stored, so the recording is over as it stands.
            ShowEnd();
            action.drawGraph = true;
            action.invalidateView = true;
            return action;
        }
        FollowNewest();
        return Start(action);
    }

    // The whole text must be one number (a comma counts as the decimal point); it is
    // then read as single precision, as the field always has been.
    std::string error;
    const std::optional<double> parsed =
        ParseUserNumber(periodText, {"Set Period (Second)", -kAnyNumber, kAnyNumber}, error);
    if (!parsed) {
        action.message = FormatC(kMsgTracePeriodNotANumber, std::string(periodText).c_str());
        return action;
    }
    if (!(*parsed > 0.0)) {
        action.message = "Time Setting Error!";
        return action;
    }
    if (*parsed > kTraceMaxPeriodSeconds + 1.0) {
        action.message = "Time Period is too long!";
        return action;
    }
    const float seconds = static_cast<float>(*parsed);
    if (!(seconds > 0.0f)) {
        action.message = "Time Setting Error!";
        return action;
    }
    if (seconds > static_cast<float>(kTraceMaxPeriodSeconds)) {
        action.message = "Time Period is too long!";
        return action;
    }
    m_nTracePeriod = TruncateToInt(seconds) + 1;
    m_nTraceWritten = 0;
    m_nTraceCount = 0;
    m_nTraceOffset = 0;
    return Start(action);
}

TraceViewAction CTraceRecorder::Stop() {
    TraceViewAction action;
    if (!m_bTraceRunning)
        return action;
    m_bTraceRunning = false;
    m_nTraceOffset = 0;
    m_nTraceCount = -1;
    action.timer = TraceTimerChange::kStop;
    action.sliderPosition = 0;
    action.invalidateView = true;
    return action;
}

TraceViewAction CTraceRecorder::Pause() {
    TraceViewAction action;
    if (!m_bTraceRunning)
        return action;
    m_bTraceRunning = false;
    m_bTracePaused = true;
    action.timer = TraceTimerChange::kStop;
    action.invalidateView = true;
    return action;
}

bool CTraceRecorder::EndIfComplete(TraceViewAction& action) {
    if (!m_bTraceRunning || m_nTraceWritten < m_nTracePeriod)
        return false;
    m_bTraceRunning = false;
    ShowEnd();
    action.timer = TraceTimerChange::kStop;
    action.invalidateView = true;
    return true;
}

TraceViewAction CTraceRecorder::Tick(double shownPower, std::int64_t utcMs) {
    TraceViewAction action;
    // A tick already queued when the timer was killed must not record.
    if (!m_bTraceRunning)
        return action;
    if (m_nTraceWritten < kTraceHistorySize) {
        m_dTrace[static_cast<std::size_t>(m_nTraceWritten)] = shownPower;
        m_times[static_cast<std::size_t>(m_nTraceWritten)] = utcMs;
    }
    ++m_nTraceWritten;
    if (m_bTraceFollowing)
        FollowNewest();
    action.drawGraph = true;
    EndIfComplete(action);
    action.sliderPosition = ProgressPosition();
    return action;
}

TraceViewAction CTraceRecorder::OnSliderReleased(int position) {
    TraceViewAction action;
    if (m_nTracePeriod <= kTraceWindowSize || m_nTraceCount < 0)
        return action;
    const int pos = std::clamp(position, 0, kTraceSliderMax);
    action.invalidateView = true;
    // The thumb shows progress through the period, so a position is read on that
    // scale: the window ends at the sample the position stands for. At or past the
    // thumb's own place that is the newest sample, and the window follows again.
    if (pos >= ProgressPosition()) {
        if (m_bTraceRunning)
            FollowNewest();
        else
            ShowEnd();
        m_bTraceFollowing = true;
        return action;
    }
    const int stored = Stored();
    const int end = std::min(
        stored, static_cast<int>(static_cast<long long>(pos) * m_nTracePeriod / kTraceSliderMax));
    m_nTraceOffset = std::max(0, end - kTraceWindowSize);
    m_nTraceCount = std::min(kTraceWindowSize, stored - m_nTraceOffset);
    m_bTraceFollowing = false;
    return action;
}

int CTraceRecorder::ProgressPosition() const {
    if (m_nTracePeriod <= 0 || m_nTraceCount < 0)
        return 0;
    const int progress = TruncateToInt(100.0 / m_nTracePeriod * m_nTraceWritten);
    return std::clamp(progress, 0, kTraceSliderMax);
}

std::string CTraceRecorder::PeriodText() const {
    return FormatC("%d", m_nTracePeriod);
}

TraceGraphInput CTraceRecorder::GraphInput(TraceTextExtent timeTitle, TraceTextExtent powerTitle,
                                           TraceTextExtent clockTitle) const {
    return TraceGraphInput{m_dTrace,    m_nTraceWritten, m_nTraceOffset, m_nTraceCount,
                           timeTitle,   powerTitle,      m_options,      RecordedTimes(),
                           clockTitle};
}

TraceGraphModel CTraceRecorder::Graph(TraceTextExtent timeTitle, TraceTextExtent powerTitle,
                                      TraceTextExtent clockTitle) {
    TraceGraphModel model = ComputeTraceGraph(GraphInput(timeTitle, powerTitle, clockTitle));
    m_dTraceMax = model.scale.top;
    m_dTraceMin = model.scale.bottom;
    return model;
}

std::span<const double> CTraceRecorder::RecordedSamples() const {
    return std::span<const double>(m_dTrace).first(static_cast<std::size_t>(Stored()));
}

std::span<const std::int64_t> CTraceRecorder::RecordedTimes() const {
    return std::span<const std::int64_t>(m_times).first(static_cast<std::size_t>(Stored()));
}

CTraceRecorder::State CTraceRecorder::CurrentState() const {
    if (m_bTraceRunning)
        return State::kRecording;
    if (m_bTracePaused)
        return State::kPaused;
    if (m_nTraceCount < 0)
        return State::kIdle;
    return State::kFinished;
}

}  // namespace velquor
