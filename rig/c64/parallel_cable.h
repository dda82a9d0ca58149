// The PC's parallel port wired to the C64's user port (docs/cable.md), seen
// from the PC: a data register at the port base and a status register at
// base + 1, as the link's port operations reach them.
//
//   PC data bits 0-3  -> CIA 2 PB0-PB3
//   PC data bit 7     -> CIA 2 FLAG (its falling edge latches ICR bit 4)
//   CIA 2 PB4         -> BUSY; the port reads it inverted as status bit 7
//   ACK, SELECT tied high, PAPER-OUT, ERROR tied low: status bits 6..3 = 1,0,1,0
//
// Unplugged (or with the C64 switched off) nothing drives the status lines:
// the port's pull-ups hold all five high, so bits 7..3 read 0,1,1,1,1 (BUSY
// inverted), and the PC's writes reach no C64 pin.
//
// Every port access costs the PC time (about 1 us on real hardware); the
// emulated C64 runs up to that moment before the access takes effect, so
// the PC and the C64 share one clock, counted in the C64's own cycles.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "rig/c64/c64_machine.h"

// Thrown when the PC waits past the cable's deadline: lets a test end an
// unbounded wait on a receiver that never answers.
struct CableTimeout : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ParallelCable {
public:
    // `cycles_per_access` 0 means one microsecond of the C64's clock.
    ParallelCable(C64Machine& c64, uint16_t port_base, double cycles_per_access = 0);

    void out8(uint16_t port, uint8_t value);
    uint8_t in8(uint16_t port);
    uint16_t in16(uint16_t port);

    // PC time in C64 cycles since the cable was made.
    double now_cycles() const { return now_; }
    uint32_t now_ms() const { return static_cast<uint32_t>(now_ * 1000.0 / c64_.clock_hz()); }
    // The PC leaves the port alone for `cycles`; the C64 runs on meanwhile.
    void idle(uint64_t cycles) {
        now_ += static_cast<double>(cycles);
        c64_.run_until(static_cast<uint64_t>(now_));
    }
    // Any access after this cycle throws CableTimeout (0 = never).
    void set_deadline(uint64_t cycle) { deadline_ = cycle; }
    uint64_t accesses() const { return accesses_; }
    // Plugs the cable in or out (also: switches the C64 on or off).
    void set_connected(bool connected);
    bool connected() const { return connected_; }

private:
    void pass_time();
    uint8_t status() const;
    void drive_c64_pins();

    C64Machine& c64_;
    const uint16_t data_port_, status_port_;
    const double cycles_per_access_;
    double now_;
    uint64_t deadline_ = 0;
    uint64_t accesses_ = 0;
    uint8_t data_ = 0;
    bool connected_ = true;
};

// The link's port operations over the cable.
struct C64Port {
    ParallelCable& cable;
    void out8(uint16_t port, uint8_t value) { cable.out8(port, value); }
    uint8_t in8(uint16_t port) { return cable.in8(port); }
    uint16_t in16(uint16_t port) { return cable.in16(port); }
};

// The link's clock, in emulated time: a bounded wait gives up after two
// emulated seconds of silence.
struct C64Clock {
    ParallelCable& cable;
    uint32_t now_ms() const { return cable.now_ms(); }
};
