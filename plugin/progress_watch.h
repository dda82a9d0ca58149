// What the progress monitor decides at each sample of the progress count:
// the label to show and whether to ask the user about a stalled transfer.
// Portable, so the counting is tested without windows or threads.
#pragma once

#include <cstdint>

constexpr uint32_t kProgressSampleMs = 80;
constexpr int32_t kStallShowsTimeout = 2;   // still samples before "(timeout)"
constexpr int32_t kStallAsks = 20;          // more still samples than this: ask
constexpr int32_t kStallAfterRetry = 10;    // so the next question comes sooner

extern const char kProgressTitle[];
extern const char kProgressLabel[];
extern const char kProgressLabelStalled[];
extern const char kTransferTimeoutQuestion[];

struct ProgressWatch {
    int32_t last_count;
    int32_t stall_samples;
};

struct ProgressStep {
    const char* label_format;  // one %i: the progress count
    bool ask_retry;            // the user must be asked whether to keep waiting
};

inline void progress_watch_begin(ProgressWatch& watch, int32_t count) {
    watch.last_count = count;
    watch.stall_samples = 0;
}

ProgressStep progress_watch_sample(ProgressWatch& watch, int32_t count);

// The user chose to keep waiting.
inline void progress_watch_retry(ProgressWatch& watch) { watch.stall_samples = kStallAfterRetry; }

inline void progress_watch_end_sample(ProgressWatch& watch, int32_t count) { watch.last_count = count; }
