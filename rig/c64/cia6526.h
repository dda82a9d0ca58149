// A 6526 CIA as far as the receiver and the tunes it plays need it, after
// the MOS 6526 data sheet:
// - Ports A and B with their direction registers; a pin reads its latch
//   where it is an output and what the outside drives where it is an input.
// - Timers A and B: 16-bit down counters with a latch, loaded from it on
//   underflow, on a force load (CRx bit 4) and when the high byte is written
//   while the timer is stopped; continuous or one-shot (CRx bit 3, which
//   clears START on the underflow). Timer B counts cycles or, per CRB bits
//   6-5, timer A's underflows. CNT is a user port pin the C64 leaves pulled
//   up, so "A's underflows while CNT is high" counts every underflow and
//   "CNT's rising edges" counts none.
// - The time-of-day clock: tenths, seconds, minutes and hours in BCD, bit 7
//   of the hours the PM flag, counting from the mains frequency on the TOD
//   pin (the machine's 50 or 60 Hz) through a divider of 5 (CRA bit 7 = 1)
//   or 6 (CRA bit 7 = 0); a wrong divider makes the clock run fast or
//   slow, as on the real chip. Reading the hours latches all four registers
//   until the tenths are read; writing the hours stops the clock until the
//   tenths are written. With CRB bit 7 set, writes go to the alarm, which
//   sets ICR bit 2 whenever the time equals it.
// - The interrupt control register: a flag is set whatever the mask; a
//   flag whose mask bit is set (or gets set) pulls /IRQ low and sets ICR
//   bit 7, and /IRQ stays low, even if the mask bit is cleared meanwhile,
//   until the ICR is read. Reading the ICR clears every flag and /IRQ.
// - FLAG's falling edge sets ICR bit 4. The data sheet does not promise
//   that an edge in the cycle right after an ICR read survives the read's
//   clearing of the flags; as an option, the next such edge is lost.
//
// Timers move in whole instructions: the machine calls advance() after each
// one, so a flag appears at the end of the instruction during which the
// timer ran out. Not modelled: the chip's one- or two-cycle delays after a
// start, load or ICR change; timer output on PB6/PB7 (CRx bits 1-2); the
// serial port (SDR and CNT's shifting); the PC handshake pin; how the TOD
// counts non-BCD values; and the hours-12 AM/PM flip some chips show when
// the hours are written. The TOD runs from power-up at 1:00:00.0 AM.
#pragma once

#include <cstdint>

#include "rig/c64/c64_timing.h"

enum : uint8_t {
    kCiaPortA = 0x0, kCiaPortB = 0x1, kCiaDdrA = 0x2, kCiaDdrB = 0x3,
    kCiaTimerALow = 0x4, kCiaTimerAHigh = 0x5, kCiaTimerBLow = 0x6, kCiaTimerBHigh = 0x7,
    kCiaTodTenths = 0x8, kCiaTodSeconds = 0x9, kCiaTodMinutes = 0xA, kCiaTodHours = 0xB,
    kCiaSerialData = 0xC, kCiaInterruptControl = 0xD, kCiaControlA = 0xE, kCiaControlB = 0xF,
};

enum : uint8_t {
    kIcrTimerA = 0x01,
    kIcrTimerB = 0x02,
    kIcrAlarm = 0x04,
    kIcrSerial = 0x08,
    kIcrFlag = 0x10,
    kIcrAnyEnabled = 0x80,  // read: /IRQ is low; write: set mask bits
};

// Control register bits (CRA and CRB share the low five).
enum : uint8_t {
    kControlStart = 0x01,
    kControlOneShot = 0x08,
    kControlForceLoad = 0x10,  // a strobe: loads the latch, never reads back
    kControlATod50Hz = 0x80,
    kControlBInputMask = 0x60,
    kControlBCountsCnt = 0x20,
    kControlBCountsTimerA = 0x40,
    kControlBWritesAlarm = 0x80,
};

class Cia6526 {
public:
    explicit Cia6526(uint32_t clock_hz = kPalClockHz, uint32_t mains_hz = kPalMainsHz)
        : clock_hz_(clock_hz), mains_hz_(mains_hz) {}

    uint8_t read(uint8_t reg);
    void write(uint8_t reg, uint8_t value);
    void advance(uint32_t cycles);

    // What the outside world drives onto the port pins; a pin nobody drives
    // reads 1 (the ports have pull-ups).
    void set_port_a_input(uint8_t levels) { input_a_ = levels; }
    void set_port_b_input(uint8_t levels) { input_b_ = levels; }
    // Pin levels as seen from outside: outputs drive their latch, inputs
    // float to what is driven onto them.
    uint8_t port_a_pins() const { return pins(latch_a_, ddr_a_, input_a_); }
    uint8_t port_b_pins() const { return pins(latch_b_, ddr_b_, input_b_); }

    // An edge in `at_cycle` of the chip's count, which runs with the
    // machine's clock (by default: the cycle it has reached).
    void flag_falling_edge(uint64_t at_cycle);
    void flag_falling_edge() { flag_falling_edge(cycle_); }
    uint64_t cycle() const { return cycle_; }
    // The next FLAG edge that falls in the cycle right after an ICR read is
    // lost; counts the edges lost so.
    void lose_next_flag_edge_after_icr_read() { lose_edge_after_read_ = true; }
    uint32_t lost_flag_edges() const { return lost_flag_edges_; }
    // The chip's /IRQ output (wired to the CPU's IRQ on CIA 1, NMI on CIA 2).
    bool interrupt_asserted() const { return irq_low_; }
    uint8_t pending_flags() const { return flags_; }

private:
    struct Timer {
        uint16_t counter = 0xFFFF;
        uint16_t latch = 0xFFFF;
        uint8_t control = 0;
        bool running() const { return control & kControlStart; }
        bool one_shot() const { return control & kControlOneShot; }
        uint32_t count(uint32_t ticks);
        void write_control(uint8_t value);
        void write_high(uint8_t value);
    };
    struct Time {
        uint8_t tenths = 0, seconds = 0, minutes = 0, hours = 0x01;
        bool operator==(const Time& o) const {
            return tenths == o.tenths && seconds == o.seconds && minutes == o.minutes && hours == o.hours;
        }
    };

    static uint8_t pins(uint8_t latch, uint8_t ddr, uint8_t input) {
        return static_cast<uint8_t>((latch & ddr) | (input & ~ddr));
    }
    void raise(uint8_t flags);
    void mains_tick();
    void tenth_passes();
    void compare_alarm();
    uint8_t read_tod(uint8_t reg);
    void write_tod(uint8_t reg, uint8_t value);

    const uint32_t clock_hz_, mains_hz_;
    uint8_t latch_a_ = 0, latch_b_ = 0, ddr_a_ = 0, ddr_b_ = 0;
    uint8_t input_a_ = 0xFF, input_b_ = 0xFF;
    Timer timer_a_, timer_b_;
    uint8_t flags_ = 0, mask_ = 0;
    bool irq_low_ = false;
    Time time_, alarm_{0, 0, 0, 0}, read_latch_;
    bool tod_latched_ = false, tod_running_ = true;
    uint64_t mains_phase_ = 0;  // cycles * mains_hz, modulo clock_hz
    uint8_t mains_ticks_ = 0;   // into the 50/60 Hz divider
    uint8_t serial_data_ = 0;
    uint64_t cycle_ = 0;
    // An ICR read happens on its instruction's last cycle, before the
    // machine advances the chips past it: the cycle after it is where the
    // next advance() ends.
    bool icr_read_in_step_ = false;
    uint64_t cycle_after_icr_read_ = UINT64_MAX;
    bool lose_edge_after_read_ = false;
    uint32_t lost_flag_edges_ = 0;
};
