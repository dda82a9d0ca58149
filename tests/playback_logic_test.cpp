#include <gtest/gtest.h>

#include "plugin/play_time.h"
#include "plugin/progress_watch.h"

namespace {

// The labels as the progress window shows them (the misspelling is the
// window's own).
const char kMovingLabel[] = "Transfering data...%i bytes";
const char kStalledLabel[] = "Transfering data...%i bytes (timeout)";

TEST(ProgressWatch, TimeoutShowsFromTheSecondStillSampleAndAsksAtThe21st) {
    ProgressWatch watch;
    progress_watch_begin(watch, 100);
    for (int sample = 1; sample <= 21; ++sample) {
        const ProgressStep step = progress_watch_sample(watch, 100);
        SCOPED_TRACE(sample);
        EXPECT_STREQ(step.label_format, sample >= 2 ? kStalledLabel : kMovingLabel);
        EXPECT_EQ(step.ask_retry, sample == 21);
        progress_watch_end_sample(watch, 100);
    }
    // OK: keep waiting; the next question comes after 11 more still samples.
    progress_watch_retry(watch);
    for (int sample = 1; sample <= 11; ++sample) {
        EXPECT_EQ(progress_watch_sample(watch, 100).ask_retry, sample == 11) << sample;
        progress_watch_end_sample(watch, 100);
    }
}

TEST(ProgressWatch, AnyMovementStartsTheCountAgain) {
    ProgressWatch watch;
    progress_watch_begin(watch, 0);
    for (int i = 0; i < 20; ++i) progress_watch_sample(watch, 0);
    const ProgressStep moved = progress_watch_sample(watch, 1);
    EXPECT_STREQ(moved.label_format, kMovingLabel);
    EXPECT_FALSE(moved.ask_retry);
    progress_watch_end_sample(watch, 1);
    EXPECT_STREQ(progress_watch_sample(watch, 1).label_format, kMovingLabel);  // 1st still
}

TEST(PlayTime, LimitsAndSeekArithmetic) {
    EXPECT_FALSE(play_time_over(2980, 30000));
    EXPECT_TRUE(play_time_over(3000, 30000));  // 150 rounds of 20 ticks
    EXPECT_EQ(kTicksPerRound, 20u);
    EXPECT_TRUE(play_time_over(0, 0));
    EXPECT_TRUE(play_time_over(0, -5));   // a negative time ends the track at once
    EXPECT_TRUE(play_time_over(0xFFFFFFF0u, 0x7FFFFFFF));  // no signed wrap in the compare
    EXPECT_EQ(tune_length_ms(3), 2999);
    EXPECT_EQ(tune_length_ms(0), -1);
    EXPECT_EQ(seek_song_index(1500), 1);
    EXPECT_EQ(seek_song_index(0), 0);
    EXPECT_EQ(seek_song_index(999), 0);
}

}  // namespace
