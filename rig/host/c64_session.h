// An emulated C64 running our receiver, wired to the rig's port trap: the
// plug-in's real IN/OUT instructions drive it through the cable model, each
// access costing about a microsecond of C64 time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rig/c64/c64_machine.h"
#include "rig/c64/parallel_cable.h"

class C64Session {
public:
    // Boots the receiver .prg on `port_base`; check booted() afterwards.
    C64Session(const std::string& receiver_prg, uint16_t port_base);
    ~C64Session();  // detaches from the trap

    bool booted() const { return booted_; }
    C64Machine& c64() { return *c64_; }
    // Locked like the machine while the plug-in may use the port.
    ParallelCable& cable() { return *cable_; }

    // Lets the C64 run on for `ms` of emulated time (the PC side is idle).
    void run_ms(uint32_t ms);

    // Play calls (visits of the play address) and SID writes since `from_cycle`.
    struct Activity {
        uint32_t play_calls;
        uint32_t sid_writes;
        uint32_t frames_with_writes;
        double seconds;
    };
    Activity activity_since(uint64_t from_cycle, uint16_t play_address) const;

private:
    std::unique_ptr<C64Machine> c64_;
    std::unique_ptr<ParallelCable> cable_;
    bool booted_ = false;
};
