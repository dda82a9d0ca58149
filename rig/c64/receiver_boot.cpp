#include "rig/c64/receiver_boot.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {
constexpr uint16_t kBasicStart = 0x0801;
constexpr uint8_t kSysToken = 0x9E;
constexpr size_t kFirstTokenOffset = 2 + 2 + 2;  // load address, link, line number
}  // namespace

std::vector<uint8_t> read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint16_t basic_sys_address(const std::vector<uint8_t>& prg) {
    if (prg.size() <= kFirstTokenOffset || (prg[0] | prg[1] << 8) != kBasicStart) return 0;
    size_t i = kFirstTokenOffset;
    while (i < prg.size() && prg[i] == ' ') ++i;
    if (i >= prg.size() || prg[i] != kSysToken) return 0;
    ++i;
    while (i < prg.size() && prg[i] == ' ') ++i;
    uint32_t address = 0;
    bool any_digit = false;
    for (; i < prg.size() && prg[i] >= '0' && prg[i] <= '9'; ++i) {
        address = address * 10 + (prg[i] - '0');
        if (address > 0xFFFF) return 0;
        any_digit = true;
    }
    return any_digit ? static_cast<uint16_t>(address) : 0;
}

uint16_t boot_receiver(C64Machine& c64, const std::vector<uint8_t>& prg, uint64_t settle_cycles) {
    const uint16_t entry = basic_sys_address(prg);
    if (entry == 0) return 0;
    c64.load_prg(prg);
    c64.start_after_run(entry);
    c64.run_for(settle_cycles);
    return entry;
}
