// Builds PSID files in memory for tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PsidSpec {
    uint16_t load = 0x1000;   // 0 with load_in_data: the data carry it
    uint16_t init = 0x1000;
    uint16_t play = 0x1003;
    uint16_t songs = 1;
    uint16_t start_song = 1;
    uint16_t data_offset = 0x7C;
    bool load_in_data = false;  // header load 0, data start with `load` LE
    std::string name = "Test Tune";
    std::string author = "Tester";
    std::string copyright = "2026 Tests";
    std::vector<uint8_t> data;  // C64 bytes (after the LE load address, if any)
};

inline void put_be16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v >> 8);
    out[at + 1] = static_cast<uint8_t>(v);
}

inline std::vector<uint8_t> make_psid(const PsidSpec& spec) {
    const size_t header = spec.data_offset > 0x7C ? spec.data_offset : 0x7C;
    std::vector<uint8_t> out(header, 0);
    out[0] = 'P'; out[1] = 'S'; out[2] = 'I'; out[3] = 'D';
    put_be16(out, 4, 2);
    put_be16(out, 6, spec.data_offset);
    put_be16(out, 8, spec.load_in_data ? 0 : spec.load);
    put_be16(out, 10, spec.init);
    put_be16(out, 12, spec.play);
    put_be16(out, 14, spec.songs);
    put_be16(out, 16, spec.start_song);
    auto text = [&](size_t at, const std::string& s) {
        for (size_t i = 0; i < s.size() && i < 32; ++i) out[at + i] = static_cast<uint8_t>(s[i]);
    };
    text(22, spec.name);
    text(54, spec.author);
    text(86, spec.copyright);
    out.resize(spec.data_offset);
    if (spec.load_in_data) {
        out.push_back(static_cast<uint8_t>(spec.load));
        out.push_back(static_cast<uint8_t>(spec.load >> 8));
    }
    out.insert(out.end(), spec.data.begin(), spec.data.end());
    return out;
}

// `n` bytes of tune-like filler that never contains the pair $0E $DD.
inline std::vector<uint8_t> filler(size_t n, uint8_t seed = 1) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        uint8_t b = static_cast<uint8_t>(x >> 24);
        if (b == 0x0E) b = 0x0F;
        v[i] = b;
    }
    return v;
}
