#include "plugin/progress_watch.h"

const char kProgressTitle[] = "Transfering data...";
const char kProgressLabel[] = "Transfering data...%i bytes";
const char kProgressLabelStalled[] = "Transfering data...%i bytes (timeout)";
const char kTransferTimeoutQuestion[] = "Transfer timeout. Retry?";

ProgressStep progress_watch_sample(ProgressWatch& watch, int32_t count) {
    if (count == watch.last_count) {
        ++watch.stall_samples;
    } else {
        watch.stall_samples = 0;
    }
    const bool stalled = watch.stall_samples >= kStallShowsTimeout;
    return ProgressStep{stalled ? kProgressLabelStalled : kProgressLabel,
                        watch.stall_samples > kStallAsks};
}
