// The PC-style port backend: every operation is one IN or OUT instruction
// on the port number in DX, no library call, so the handshake loops stay a
// handful of instructions. Port access must have been granted to the process
// (on NT-family Windows by the port driver); otherwise the first access
// raises a privileged-instruction exception, which callers guard against.
#pragma once

#include <cstdint>

#if !defined(__i386__) && !defined(__x86_64__)
#error "the x86 port backend needs an x86 target"
#endif

struct X86Port {
    static void out8(uint16_t port, uint8_t value) {
        __asm__ __volatile__("outb %0, %w1" : : "a"(value), "Nd"(port));
    }
    static uint8_t in8(uint16_t port) {
        uint8_t value;
        __asm__ __volatile__("inb %w1, %0" : "=a"(value) : "Nd"(port));
        return value;
    }
    static uint16_t in16(uint16_t port) {
        uint16_t value;
        __asm__ __volatile__("inw %w1, %0" : "=a"(value) : "Nd"(port));
        return value;
    }
};
