#include "tools/survey_regions.h"

#include <cstdio>

namespace {

struct Span {
    Region region;
    uint32_t first, last;
};

// Low memory and the top of the address space: fixed places.
constexpr Span kFixed[] = {
    {Region::CpuPort, 0x00, 0x01},          {Region::ZeroBasic, 0x02, 0x8F},
    {Region::ZeroKernal, 0x90, 0xFA},       {Region::ZeroFree, 0xFB, 0xFE},
    {Region::ZeroLast, 0xFF, 0xFF},         {Region::StackData, 0x0100, 0x01FF},
    {Region::InputBuffer, 0x0200, 0x0276},  {Region::KernalTables, 0x0277, 0x02A6},
    {Region::Page2Free, 0x02A7, 0x02FF},    {Region::BasicVectors, 0x0300, 0x0313},
    {Region::KernalVectors, 0x0314, 0x0333}, {Region::Page3Gap, 0x0334, 0x033B},
    {Region::TapeBuffer, 0x033C, 0x03FB},   {Region::Page3End, 0x03FC, 0x03FF},
    {Region::Screen, 0x0400, 0x07FF},       {Region::HardwareVectors, 0xFFFA, 0xFFFF},
};

constexpr Span kChips[] = {
    {Region::Vic, 0xD000, 0xD3FF},        {Region::Cia1TimerA, 0xDC04, 0xDC05},
    {Region::Cia1, 0xDC00, 0xDCFF},       {Region::Cia2, 0xDD00, 0xDDFF},
    {Region::OtherIo, 0xD800, 0xDBFF},    {Region::OtherIo, 0xDE00, 0xDFFF},
};

constexpr uint32_t kLowMemoryEnd = 0x0800;
constexpr uint32_t kIoFirst = 0xD000, kIoEnd = 0xE000;
constexpr uint32_t kHardwareVectors = 0xFFFA;

uint32_t bit(Region r) { return 1u << static_cast<unsigned>(r); }

bool any_in(const AddressSet& set, uint32_t first, uint32_t last) {
    for (uint32_t a = first; a <= last; ++a) {
        if (set[a]) return true;
    }
    return false;
}

}  // namespace

const char* region_name(Region region) {
    static const char* const names[] = {
        "cpu-port", "zp-basic", "zp-kernal", "zp-free", "zp-ff", "stack-data", "input-buf",
        "kernal-tables", "p2-free", "basic-vec", "kernal-vec", "p3-gap", "tape-buf", "p3-end",
        "screen", "below-image", "above-image", "ram-under-io", "hw-vectors", "vic", "cia1",
        "cia1-ta", "cia2", "other-io"};
    static_assert(sizeof names / sizeof names[0] == static_cast<size_t>(Region::Count));
    return names[static_cast<size_t>(region)];
}

uint32_t regions_written(const WriteMap& writes, uint32_t image_begin, uint32_t image_end) {
    uint32_t found = 0;
    for (const Span& s : kFixed) {
        if (any_in(writes.ram, s.first, s.last)) found |= bit(s.region);
    }
    for (const Span& s : kChips) {
        if (any_in(writes.io, s.first, s.last)) found |= bit(s.region);
    }
    for (uint32_t a = kLowMemoryEnd; a < kHardwareVectors; ++a) {
        if (!writes.ram[a] || (a >= image_begin && a < image_end)) continue;
        if (a >= kIoFirst && a < kIoEnd) {
            found |= bit(Region::RamUnderIo);
        } else {
            found |= bit(a < image_begin ? Region::BelowImage : Region::AboveImage);
        }
    }
    return found;
}

std::string address_ranges(const AddressSet& set, uint32_t begin, uint32_t end) {
    std::string out;
    char text[24];
    for (uint32_t a = begin; a < end; ++a) {
        if (!set[a]) continue;
        uint32_t last = a;
        while (last + 1 < end && set[last + 1]) ++last;
        if (last == a) {
            std::snprintf(text, sizeof text, "%s$%04X", out.empty() ? "" : " ", a);
        } else {
            std::snprintf(text, sizeof text, "%s$%04X-$%04X", out.empty() ? "" : " ", a, last);
        }
        out += text;
        a = last;
    }
    return out;
}
