// The release archive: its member list, read from the zip's central
// directory, and that every member is the file of the same name in dist/
// (size and CRC-32), so an archive left over from an older build fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "zorbin_release.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kDist = ZORBIN_DIST_DIR;
const std::string kTop = ZORBIN_RELEASE_TOP "/";

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t le16(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const Bytes& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

uint32_t crc32(const Bytes& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

struct Member {
    uint32_t crc, size;
};

// The central directory's file entries (folders, ending in '/', left out).
std::map<std::string, Member> read_members(const Bytes& zip) {
    std::map<std::string, Member> members;
    size_t end = zip.size() >= 22 ? zip.size() - 22 : 0;
    while (end > 0 && le32(zip, end) != 0x06054B50) --end;
    if (zip.size() < 22 || le32(zip, end) != 0x06054B50) {
        ADD_FAILURE() << "no end of central directory";
        return members;
    }
    size_t at = le32(zip, end + 16);
    for (uint32_t i = 0; i < le16(zip, end + 10); ++i) {
        if (at + 46 > zip.size() || le32(zip, at) != 0x02014B50 || at + 46 + le16(zip, at + 28) > zip.size()) {
            ADD_FAILURE() << "central directory entry " << i << " is damaged";
            break;
        }
        const size_t name_length = le16(zip, at + 28);
        const std::string name(zip.begin() + at + 46, zip.begin() + at + 46 + name_length);
        if (name.back() != '/') members[name] = {le32(zip, at + 16), le32(zip, at + 24)};
        at += 46 + name_length + le16(zip, at + 30) + le16(zip, at + 32);
    }
    return members;
}

TEST(ReleaseArchive, HoldsTheReleaseFolderAsBuilt) {
    const Bytes zip = read_file(kDist + "/" ZORBIN_RELEASE_TOP ".zip");
    ASSERT_FALSE(zip.empty());
    const std::map<std::string, Member> members = read_members(zip);

    const std::set<std::string> expected = {ZORBIN_RELEASE_FILES};
    EXPECT_EQ(members.size(), expected.size()) << "a member too many or too few";
    for (const std::string& file : expected) {
        const auto member = members.find(kTop + file);
        if (member == members.end()) {
            ADD_FAILURE() << "no " << kTop << file;
            continue;
        }
        const Bytes shipped = read_file(kDist + "/" + file);
        ASSERT_FALSE(shipped.empty()) << file;
        EXPECT_EQ(member->second.size, shipped.size()) << file;
        EXPECT_EQ(member->second.crc, crc32(shipped)) << file << " differs from dist/" << file;
    }
}

}  // namespace
