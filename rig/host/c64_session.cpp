#include "rig/host/c64_session.h"

#include "rig/c64/receiver_boot.h"
#include "rig/host/port_trap.h"

C64Session::C64Session(const std::string& receiver_prg, uint16_t port_base)
    : c64_(new C64Machine) {
    const std::vector<uint8_t> prg = read_file_bytes(receiver_prg);
    booted_ = !prg.empty() && boot_receiver(*c64_, prg) != 0;
    cable_.reset(new ParallelCable(*c64_, port_base));
    port_trap_attach_cable(cable_.get());
}

C64Session::~C64Session() { port_trap_attach_cable(nullptr); }

void C64Session::run_ms(uint32_t ms) {
    SimLock lock;  // the trap drives the same machine
    cable_->idle(static_cast<uint64_t>(ms) * c64_->clock_hz() / 1000);
}

C64Session::Activity C64Session::activity_since(uint64_t from_cycle, uint16_t play_address) const {
    Activity a{0, 0, 0, 0.0};
    for (const WatchVisit& v : c64_->visits())
        if (v.address == play_address && v.cycle >= from_cycle) ++a.play_calls;
    const uint64_t frame_cycles = c64_->frame_cycles();
    uint64_t last_frame = ~0ull;
    for (const SidWrite& w : c64_->sid_writes()) {
        if (w.cycle < from_cycle) continue;
        ++a.sid_writes;
        if (w.cycle / frame_cycles != last_frame) {
            last_frame = w.cycle / frame_cycles;
            ++a.frames_with_writes;
        }
    }
    a.seconds = static_cast<double>(c64_->cycle() - from_cycle) / c64_->clock_hz();
    return a;
}
