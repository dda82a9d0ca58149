// A 6526 CIA as far as the receiver and the tunes it plays need it: the two
// data ports with their direction registers, timers A and B (one-shot and
// continuous, force load; B counting cycles or A's underflows), the
// interrupt flags and mask, and the FLAG input's falling edge. The time of
// day clock and the serial port are register stubs.
//
// Timers move in whole instructions: the machine calls advance() after each
// one, so a flag appears at the end of the instruction during which the
// timer ran out. The real chip's one- or two-cycle start-up delays are not
// modelled.
#pragma once

#include <cstdint>

enum : uint8_t {
    kCiaPortA = 0x0, kCiaPortB = 0x1, kCiaDdrA = 0x2, kCiaDdrB = 0x3,
    kCiaTimerALow = 0x4, kCiaTimerAHigh = 0x5, kCiaTimerBLow = 0x6, kCiaTimerBHigh = 0x7,
    kCiaSerialData = 0xC, kCiaInterruptControl = 0xD, kCiaControlA = 0xE, kCiaControlB = 0xF,
};

enum : uint8_t {
    kIcrTimerA = 0x01,
    kIcrTimerB = 0x02,
    kIcrFlag = 0x10,
    kIcrAnyEnabled = 0x80,  // read: an enabled source is flagged; write: set mask bits
};

class Cia6526 {
public:
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

    void flag_falling_edge() { flags_ |= kIcrFlag; }
    // The chip's /IRQ output (wired to the CPU's IRQ on CIA 1, NMI on CIA 2).
    bool interrupt_asserted() const { return (flags_ & mask_) != 0; }
    uint8_t pending_flags() const { return flags_; }

private:
    struct Timer {
        uint16_t counter = 0xFFFF;
        uint16_t latch = 0xFFFF;
        uint8_t control = 0;
        bool running() const { return control & 0x01; }
        bool one_shot() const { return control & 0x08; }
        uint32_t count(uint32_t ticks);
        void write_control(uint8_t value);
    };

    static uint8_t pins(uint8_t latch, uint8_t ddr, uint8_t input) {
        return static_cast<uint8_t>((latch & ddr) | (input & ~ddr));
    }

    uint8_t latch_a_ = 0, latch_b_ = 0, ddr_a_ = 0, ddr_b_ = 0;
    uint8_t input_a_ = 0xFF, input_b_ = 0xFF;
    Timer timer_a_, timer_b_;
    uint8_t flags_ = 0, mask_ = 0;
    uint8_t stub_registers_[16] = {};
};
