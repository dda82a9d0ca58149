// Where in the C64's memory a tune's writes land, named the way the
// receiver's design has to think about them: the zero page's users, the
// stack, the system's tables and vectors in pages 2 and 3, the screen, RAM
// around the image, and the chips.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>

using AddressSet = std::bitset<0x10000>;

enum class Region : uint8_t {
    CpuPort,        // $00-$01
    ZeroBasic,      // $02-$8F
    ZeroKernal,     // $90-$FA
    ZeroFree,       // $FB-$FE
    ZeroLast,       // $FF
    StackData,      // $0100-$01FF by stores, not pushes
    InputBuffer,    // $0200-$0276
    KernalTables,   // $0277-$02A6: keyboard buffer, scan and screen editor state
    Page2Free,      // $02A7-$02FF
    BasicVectors,   // $0300-$0313
    KernalVectors,  // $0314-$0333
    Page3Gap,       // $0334-$033B
    TapeBuffer,     // $033C-$03FB
    Page3End,       // $03FC-$03FF
    Screen,         // $0400-$07FF
    BelowImage,     // RAM from $0800 up to the image
    AboveImage,     // RAM past the image, outside $D000-$DFFF
    RamUnderIo,     // $D000-$DFFF with the I/O area switched out
    HardwareVectors,  // $FFFA-$FFFF
    Vic,
    Cia1,
    Cia1TimerA,     // $DC04/$DC05: the latch that sets the play rate
    Cia2,
    OtherIo,        // colour RAM, expansion area
    Count
};

// The short name a survey line and its summary use, e.g. "zp-free".
const char* region_name(Region region);

// RAM writes are kept at their address; writes that reached the I/O chips
// are kept apart, since the same addresses are also RAM.
struct WriteMap {
    AddressSet ram;
    AddressSet io;
};

// The regions `writes` touches, as a bit per Region; `image_begin` and
// `image_end` (exclusive, up to 0x10000) bound the tune's own image.
uint32_t regions_written(const WriteMap& writes, uint32_t image_begin, uint32_t image_end);

// "$0002-$0005 $00FB-$00FE": the addresses of `set` in [begin, end) as ranges.
std::string address_ranges(const AddressSet& set, uint32_t begin, uint32_t end);
