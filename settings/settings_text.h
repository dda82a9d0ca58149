// The two text forms of the configuration dialog. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kPlayingTimeStepMs = 30000;  // the up-down moves in 30 s steps
constexpr int kPlayingTimeMinSteps = 1;        // 00:30
constexpr int kPlayingTimeMaxSteps = 20;       // 10:00

// "0x%3X": "0x378", "0x3BC"; a value below 0x100 is padded with blanks.
void port_text(uint16_t port_base, char* out, size_t size);
// "%.2i:%.2i" of minutes and seconds: "02:30" for 150000 ms.
void time_text(int32_t time_ms, char* out, size_t size);
// The port base a list entry stands for, or 0 when the text is none of them.
uint16_t port_from_text(const char* text);
