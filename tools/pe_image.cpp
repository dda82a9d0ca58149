#include "tools/pe_image.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint32_t kDirExport = 0, kDirImport = 1, kDirResource = 2;

struct Reader {
    std::vector<uint8_t> bytes;
    uint32_t u32(size_t at) const {
        return at + 4 <= bytes.size() ? static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 |
                                                              bytes[at + 2] << 16 |
                                                              static_cast<uint32_t>(bytes[at + 3]) << 24)
                                      : 0;
    }
    uint16_t u16(size_t at) const {
        return at + 2 <= bytes.size() ? static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8) : 0;
    }
    std::string text(size_t at) const {
        std::string s;
        while (at < bytes.size() && bytes[at] != 0 && s.size() < 256) s += static_cast<char>(bytes[at++]);
        return s;
    }
};

struct Section {
    uint32_t virtual_address, virtual_size, raw_offset, raw_size;
};

// File offset of a relative virtual address, or 0 when no section holds it.
size_t file_offset(const std::vector<Section>& sections, uint32_t rva) {
    for (const Section& s : sections) {
        const uint32_t size = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
        if (rva >= s.virtual_address && rva < s.virtual_address + size)
            return rva - s.virtual_address + s.raw_offset;
    }
    return 0;
}

}  // namespace

bool pe_read(const std::string& path, PeImage& image, std::string& error) {
    Reader r;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return error = "cannot open " + path, false;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) r.bytes.insert(r.bytes.end(), chunk, chunk + n);
    std::fclose(f);

    if (r.u16(0) != 0x5A4D) return error = "no MZ header", false;
    const size_t pe = r.u32(0x3C);
    if (r.u32(pe) != kPeSignature) return error = "no PE signature", false;
    const size_t coff = pe + 4;
    image.machine = r.u16(coff);
    const uint16_t section_count = r.u16(coff + 2);
    const uint16_t optional_size = r.u16(coff + 16);
    image.characteristics = r.u16(coff + 18);
    const size_t optional = coff + 20;
    if (r.u16(optional) != kOptionalMagicPe32) return error = "not a 32-bit PE image", false;
    image.subsystem = r.u16(optional + 68);
    const uint32_t directory_count = r.u32(optional + 92);
    auto directory = [&](uint32_t index, uint32_t& rva, uint32_t& size) {
        rva = size = 0;
        if (index >= directory_count) return;
        rva = r.u32(optional + 96 + index * 8);
        size = r.u32(optional + 100 + index * 8);
    };

    std::vector<Section> sections;
    const size_t table = optional + optional_size;
    for (uint16_t i = 0; i < section_count; ++i) {
        const size_t s = table + i * 40u;
        sections.push_back(Section{r.u32(s + 12), r.u32(s + 8), r.u32(s + 20), r.u32(s + 16)});
    }

    uint32_t rva, size;
    directory(kDirResource, rva, size);
    image.has_resources = rva != 0 && size != 0;

    directory(kDirImport, rva, size);
    for (size_t d = file_offset(sections, rva); rva != 0 && d != 0 && r.u32(d + 12) != 0; d += 20) {
        const std::string dll = r.text(file_offset(sections, r.u32(d + 12)));
        uint32_t thunks = r.u32(d) != 0 ? r.u32(d) : r.u32(d + 16);
        for (size_t t = file_offset(sections, thunks); t != 0 && r.u32(t) != 0; t += 4) {
            const uint32_t entry = r.u32(t);
            if (entry & 0x80000000u) {
                image.imports.push_back(PeImport{dll, "#" + std::to_string(entry & 0xFFFF)});
            } else {
                image.imports.push_back(PeImport{dll, r.text(file_offset(sections, entry) + 2)});
            }
        }
    }

    directory(kDirExport, rva, size);
    if (const size_t e = rva != 0 ? file_offset(sections, rva) : 0) {
        const uint32_t names = r.u32(e + 24);
        const size_t name_table = file_offset(sections, r.u32(e + 32));
        for (uint32_t i = 0; i < names && name_table != 0; ++i)
            image.exports.push_back(r.text(file_offset(sections, r.u32(name_table + i * 4))));
    }
    return true;
}
