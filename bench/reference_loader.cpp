// The reference library's tune loader, kept in a file of its own: its class
// shares a name with our record.
#include <sidplayfp/SidTune.h>

bool reference_load(const char* path) {
    SidTune tune(path);
    return tune.getStatus();
}
