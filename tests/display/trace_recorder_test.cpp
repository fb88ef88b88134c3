#include "display/trace_recorder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace velquor {
namespace {

// Ticks the recorder n times; sample i gets the value of its own history index, so a test can
// tell where every sample went.
TraceViewAction TickIndexed(CTraceRecorder& rec, int n) {
    TraceViewAction last;
    for (int i = 0; i < n; ++i)
        last = rec.Tick(static_cast<double>(rec.Written()));
    return last;
}

struct PeriodCase {
    const char* text;
    std::string message;
    int period;  // expected period in samples when accepted
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

std::string NotANumber(const std::string& text) {
    return "Set Period (Second): \"" + text +
           "\" is not a number! Enter more than 0, up to 3600 seconds.";
}

class TracePeriodText : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(TracePeriodText, AcceptsOrRejectsWithItsMessage) {
    const PeriodCase& c = GetParam();
    CTraceRecorder rec;
    const TraceViewAction a = rec.Play(c.text);
    EXPECT_EQ(a.message, c.message);
    if (c.message.empty()) {
        EXPECT_EQ(rec.Period(), c.period);
        EXPECT_TRUE(rec.Running());
        EXPECT_EQ(a.timer, TraceTimerChange::kStart);
        EXPECT_EQ(a.sliderPosition, 0);
        EXPECT_TRUE(a.drawGraph);
        EXPECT_TRUE(a.showGraphWindow);
        EXPECT_EQ(rec.Count(), 0);
        EXPECT_EQ(rec.Offset(), 0);
    } else {
        EXPECT_EQ(rec.CurrentState(), CTraceRecorder::State::kIdle);
        EXPECT_EQ(rec.Period(), 0);
        EXPECT_EQ(a.timer, TraceTimerChange::kNone);
        EXPECT_FALSE(a.sliderPosition.has_value());
        EXPECT_FALSE(a.drawGraph || a.showGraphWindow || a.invalidateView);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TracePeriodText,
    ::testing::Values(
        PeriodCase{"10", "", 11}, PeriodCase{"0.5", "", 1}, PeriodCase{"3600", "", 3601},
        PeriodCase{" 12 ", "", 13}, PeriodCase{"1,5", "", 2},
        PeriodCase{"3600.00001", "", 3601},  // single precision reads 3600
        PeriodCase{"3601", "Time Period is too long!", 0},
        PeriodCase{"1e30", "Time Period is too long!", 0},
        PeriodCase{"1e300", "Time Period is too long!", 0},
        PeriodCase{"0", "Time Setting Error!", 0}, PeriodCase{"-3", "Time Setting Error!", 0},
        PeriodCase{"1e-60", "Time Setting Error!", 0}, PeriodCase{"12 s", NotANumber("12 s"), 0},
        PeriodCase{"abc", NotANumber("abc"), 0}, PeriodCase{"", NotANumber(""), 0},
        PeriodCase{"nan", NotANumber("nan"), 0}));

struct RunCase {
    const char* text;
    int period;
    int endCount;
    int endOffset;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class TraceRecordingEnd : public ::testing::TestWithParam<RunCase> {};

TEST_P(TraceRecordingEnd, StopsOnTheLastTickWithTheEndInView) {
    const RunCase& c = GetParam();
    CTraceRecorder rec;
    ASSERT_TRUE(rec.Play(c.text).message.empty());
    ASSERT_EQ(rec.Period(), c.period);
    const TraceViewAction before = TickIndexed(rec, c.period - 1);
    EXPECT_TRUE(rec.Running());
    EXPECT_EQ(before.timer, TraceTimerChange::kNone);
    if (c.period > 1) {
        EXPECT_LT(before.sliderPosition.value_or(100), 100);
    }

    const TraceViewAction end = rec.Tick(1.0);
    EXPECT_FALSE(rec.Running());
    EXPECT_EQ(rec.CurrentState(), CTraceRecorder::State::kFinished);
    EXPECT_EQ(end.timer, TraceTimerChange::kStop);
    EXPECT_TRUE(end.invalidateView);
    EXPECT_TRUE(end.drawGraph);
    EXPECT_EQ(end.sliderPosition, 100);
    EXPECT_EQ(rec.Count(), c.endCount);
    EXPECT_EQ(rec.Offset(), c.endOffset);
    EXPECT_EQ(rec.Written(), c.period);

    // A tick still queued after the timer was killed records nothing.
    EXPECT_EQ(rec.Tick(99.0).timer, TraceTimerChange::kNone);
    EXPECT_EQ(rec.Written(), c.period);
}

INSTANTIATE_TEST_SUITE_P(Periods, TraceRecordingEnd,
                         ::testing::Values(RunCase{"10", 11, 11, 0}, RunCase{"0.5", 1, 1, 0},
                                           RunCase{"449", 450, 450, 0},
                                           RunCase{"999", 1000, 450, 550},
                                           RunCase{"3600", 3601, 450, 3150}));

TEST(TraceRecorder, FullHourLeavesTheLastSampleUnstored) {
    CTraceRecorder rec;
    rec.Play("3600");
    TickIndexed(rec, 3600);
    EXPECT_TRUE(rec.Running());
    EXPECT_EQ(rec.History()[3599], 3599.0);
    rec.Tick(-1.0);
    EXPECT_FALSE(rec.Running());
    EXPECT_EQ(rec.Written(), 3601);
    EXPECT_EQ(rec.RecordedSamples().size(), 3600u);
    EXPECT_EQ(rec.RecordedSamples().back(), 3599.0);
}

TEST(TraceRecorder, PeriodOf1000FollowsTheNewestSamples) {
    CTraceRecorder rec;
    rec.Play("999");
    ASSERT_EQ(rec.Period(), 1000);
    TickIndexed(rec, 449);
    EXPECT_EQ(rec.Count(), 449);
    EXPECT_EQ(rec.Offset(), 0);
    TickIndexed(rec, 1);
    EXPECT_EQ(rec.Count(), 449);
    EXPECT_EQ(rec.Offset(), 1);
    const TraceViewAction mid = TickIndexed(rec, 50);
    EXPECT_EQ(rec.Offset(), 51);
    EXPECT_EQ(mid.sliderPosition, 50);  // trunc(100 / 1000 * 500)
    TickIndexed(rec, 500);
    EXPECT_EQ(rec.Offset(), 550);
    EXPECT_EQ(rec.Count(), 450);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(rec.History()[static_cast<std::size_t>(i)], i);
}

TEST(TraceRecorder, ProgressTruncates) {
    CTraceRecorder rec;
    rec.Play("2");
    EXPECT_EQ(rec.Tick(0).sliderPosition, 33);
    EXPECT_EQ(rec.Tick(0).sliderPosition, 66);
    EXPECT_EQ(rec.Tick(0).sliderPosition, 100);
}

TEST(TraceRecorder, PeriodTextShowsThePeriodInSamples) {
    CTraceRecorder rec;
    EXPECT_EQ(rec.PeriodText(), "0");
    rec.Play("10");
    EXPECT_EQ(rec.PeriodText(), "11");
}

TEST(TraceRecorder, BadTextDuringARecordingKeepsItRunning) {
    CTraceRecorder rec;
    rec.Play("100");
    TickIndexed(rec, 5);
    const TraceViewAction a = rec.Play("10abc");
    EXPECT_EQ(a.message,
              "Set Period (Second): \"10abc\" is not a number! Enter more than 0, up to 3600 "
              "seconds.");
    EXPECT_EQ(rec.Play("0").message, "Time Setting Error!");
    EXPECT_EQ(rec.Period(), 101);
    EXPECT_EQ(rec.Play("1,5").message, "");
    EXPECT_EQ(rec.Period(), 2);
    rec.Stop();
    rec.Play("100");
    TickIndexed(rec, 5);
    EXPECT_EQ(a.timer, TraceTimerChange::kNone);
    EXPECT_TRUE(rec.Running());
    EXPECT_EQ(rec.Written(), 5);
    EXPECT_EQ(rec.Play("5000").message, "Time Period is too long!");
    EXPECT_EQ(rec.Period(), 101);
}

TEST(TraceRecorder, PlayWhileRecordingStartsAgain) {
    CTraceRecorder rec;
    rec.Play("100");
    TickIndexed(rec, 5);
    const TraceViewAction a = rec.Play("20");
    EXPECT_EQ(a.timer, TraceTimerChange::kStart);
    EXPECT_EQ(rec.Period(), 21);
    EXPECT_EQ(rec.Written(), 0);
    EXPECT_EQ(rec.Count(), 0);
}

TEST(TraceRecorder, StopClearsTheWindowOnlyWhileRunning) {
    CTraceRecorder rec;
    const TraceViewAction idle = rec.Stop();
    EXPECT_EQ(idle.timer, TraceTimerChange::kNone);
    EXPECT_FALSE(idle.invalidateView);

    rec.Play("100");
    TickIndexed(rec, 7);
    const TraceViewAction a = rec.Stop();
    EXPECT_EQ(a.timer, TraceTimerChange::kStop);
    EXPECT_EQ(a.sliderPosition, 0);
    EXPECT_TRUE(a.invalidateView);
    EXPECT_EQ(rec.Count(), -1);
    EXPECT_EQ(rec.Offset(), 0);
    EXPECT_EQ(rec.CurrentState(), CTraceRecorder::State::kIdle);
    EXPECT_EQ(rec.ProgressPosition(), 0);
    // The samples taken stay available to export.
    EXPECT_EQ(rec.RecordedSamples().size(), 7u);
    EXPECT_EQ(rec.Tick(5.0).timer, TraceTimerChange::kNone);
    EXPECT_EQ(rec.Written(), 7);
}

TEST(TraceRecorder, PauseThenStopDoesNothingAndPlayResumes) {
    CTraceRecorder rec;
    rec.Play("100");
    TickIndexed(rec, 12);
    const TraceViewAction p = rec.Pause();
    EXPECT_EQ(p.timer, TraceTimerChange::kStop);
    EXPECT_TRUE(p.invalidateView);
    EXPECT_EQ(rec.CurrentState(), CTraceRecorder::State::kPaused);
    EXPECT_EQ(rec.Tick(55.0).timer, TraceTimerChange::kNone);  // no sampling while paused

    const TraceViewAction s = rec.Stop();
    EXPECT_EQ(s.timer, TraceTimerChange::kNone);
    EXPECT_FALSE(s.invalidateView);
    EXPECT_TRUE(rec.Paused());
    EXPECT_EQ(rec.Pause().timer, TraceTimerChange::kNone);

    // The period text is not read on resume.
    const TraceViewAction r = rec.Play("abc");
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(r.timer, TraceTimerChange::kStart);
    EXPECT_EQ(r.sliderPosition, 11);  // trunc(100 / 101 * 12)
    EXPECT_FALSE(rec.Paused());
    EXPECT_EQ(rec.Period(), 101);
    EXPECT_EQ(rec.Count(), 12);
    TickIndexed(rec, 3);
    EXPECT_EQ(rec.Written(), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(rec.History()[static_cast<std::size_t>(i)], i);
}

TEST(TraceRecorder, ResumeWhenTheHistoryIsFullEndsTheRecording) {
    CTraceRecorder rec;
    rec.Play("3600");
    TickIndexed(rec, 3600);
    rec.Pause();
    const TraceViewAction r = rec.Play("10");
    EXPECT_EQ(r.timer, TraceTimerChange::kNone);
    EXPECT_TRUE(r.invalidateView);
    EXPECT_FALSE(rec.Running());
    EXPECT_FALSE(rec.Paused());
    EXPECT_EQ(rec.CurrentState(), CTraceRecorder::State::kFinished);
    EXPECT_EQ(rec.Offset(), 3150);
    EXPECT_EQ(rec.Count(), 450);
    EXPECT_EQ(rec.Period(), 3601);
    // The next Play starts a new recording.
    EXPECT_EQ(rec.Play("10").timer, TraceTimerChange::kStart);
    EXPECT_EQ(rec.Period(), 11);
    EXPECT_EQ(rec.Written(), 0);
}

TEST(TraceRecorder, NewRecordingAfterALongerOneUsesOnlyItsOwnSamples) {
    CTraceRecorder rec;
    rec.Play("19");
    for (int i = 0; i < 20; ++i)
        rec.Tick(30.0);
    rec.Play("4");
    for (int i = 0; i < 5; ++i)
        rec.Tick(10.0);
    EXPECT_EQ(rec.RecordedSamples().size(), 5u);
    EXPECT_EQ(rec.History()[10], 30.0);  // old samples stay, unused
    const TraceGraphModel g = rec.Graph({}, {});
    EXPECT_EQ(g.trace.size(), 5u);
    // Flat at 10 dBm: the old 30 dBm samples take no part in the scale.
    EXPECT_NEAR(rec.ScaleMax(), 10.01, 1e-9);
    EXPECT_NEAR(rec.ScaleMin(), 9.99, 1e-9);
}

TEST(TraceRecorder, ScrollingWhileRecordingNeverMovesTheWritePosition) {
    CTraceRecorder rec;
    rec.Play("999");
    TickIndexed(rec, 600);
    const TraceViewAction a = rec.OnSliderReleased(0);
    EXPECT_TRUE(a.invalidateView);
    EXPECT_EQ(a.timer, TraceTimerChange::kNone);
    EXPECT_EQ(rec.Offset(), 0);
    EXPECT_EQ(rec.Count(), 450);

    // The window stays where the user put it; samples still go to the end.
    TickIndexed(rec, 10);
    EXPECT_EQ(rec.Offset(), 0);
    EXPECT_EQ(rec.Written(), 610);
    for (int i = 0; i < 610; ++i)
        ASSERT_EQ(rec.History()[static_cast<std::size_t>(i)], i);

    rec.OnSliderReleased(50);
    EXPECT_EQ(rec.Offset(), 50);  // the window ends at sample 500 of the period's 1000

    // Scrolled to the end, the window moves on with the recording again.
    rec.OnSliderReleased(100);
    EXPECT_EQ(rec.Offset(), 610 - 449);
    EXPECT_EQ(rec.Count(), 449);
    TickIndexed(rec, 1);
    EXPECT_EQ(rec.Count(), 449);
    EXPECT_EQ(rec.Offset(), 611 - 449);
    EXPECT_EQ(rec.History()[610], 610.0);

    // Scrolling back and resuming after a pause returns to the newest samples.
    rec.OnSliderReleased(0);
    rec.Pause();
    rec.Play("");
    EXPECT_EQ(rec.Offset(), 611 - 449);
    TickIndexed(rec, 389);
    EXPECT_FALSE(rec.Running());
    EXPECT_EQ(rec.Offset(), 550);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(rec.History()[static_cast<std::size_t>(i)], i);
}

TEST(TraceRecorder, TheSliderIsReadOnTheScaleItShows) {
    CTraceRecorder rec;
    rec.Play("1999");  // a period of 2000 samples
    TickIndexed(rec, 1500);
    ASSERT_EQ(rec.ProgressPosition(), 75);
    // Halfway through the period is sample 1000, not halfway through what is stored.
    rec.OnSliderReleased(50);
    EXPECT_EQ(rec.Offset() + rec.Count(), 1000);
    TickIndexed(rec, 1);
    EXPECT_EQ(rec.Offset() + rec.Count(), 1000);
    // Released where the thumb stands, the window keeps up with the newest sample.
    rec.OnSliderReleased(rec.ProgressPosition());
    for (int written : {1502, 1503}) {
        TickIndexed(rec, 1);
        EXPECT_EQ(rec.Written(), written);
        EXPECT_EQ(rec.Offset() + rec.Count(), written);
    }
}

TEST(TraceRecorder, ScrollingEarlyInALongRecordingStaysAtTheStart) {
    CTraceRecorder rec;
    rec.Play("999");
    TickIndexed(rec, 100);
    rec.OnSliderReleased(100);
    EXPECT_EQ(rec.Offset(), 0);
    EXPECT_EQ(rec.Count(), 100);
    TickIndexed(rec, 1);
    EXPECT_EQ(rec.Count(), 101);
}

TEST(TraceRecorder, ScrollingAFinishedRecordingStaysInsideIt) {
    CTraceRecorder rec;
    rec.Play("999");
    TickIndexed(rec, 1000);
    ASSERT_FALSE(rec.Running());
    const struct {
        int position;
        int offset;
    } cases[] = {{0, 0}, {1, 0}, {50, 50}, {99, 540}, {100, 550}, {150, 550}, {-5, 0}};
    for (const auto& c : cases) {
        rec.OnSliderReleased(c.position);
        EXPECT_EQ(rec.Offset(), c.offset) << c.position;
        EXPECT_EQ(rec.Count(), 450) << c.position;
        EXPECT_LE(rec.Offset() + rec.Count(), 1000);
    }
    EXPECT_EQ(rec.Written(), 1000);

    CTraceRecorder hour;
    hour.Play("3600");
    TickIndexed(hour, 3601);
    hour.OnSliderReleased(100);
    EXPECT_EQ(hour.Offset() + hour.Count(), 3600);
}

TEST(TraceRecorder, ScrollingIsIgnoredForShortRecordingsAndAfterStop) {
    CTraceRecorder rec;
    EXPECT_FALSE(rec.OnSliderReleased(50).invalidateView);
    rec.Play("449");
    TickIndexed(rec, 450);
    EXPECT_FALSE(rec.OnSliderReleased(50).invalidateView);
    EXPECT_EQ(rec.Offset(), 0);

    rec.Play("999");
    TickIndexed(rec, 500);
    rec.Stop();
    EXPECT_FALSE(rec.OnSliderReleased(50).invalidateView);
    EXPECT_EQ(rec.Count(), -1);
    EXPECT_EQ(rec.Offset(), 0);
}

}  // namespace
}  // namespace velquor
