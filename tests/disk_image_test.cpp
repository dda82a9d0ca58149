// Reads the shipped 1541 disk image the way the drive does: the BAM on
// track 18 sector 0, the directory chain from 18/1, each file's chain of
// track/sector links; and compares the files with what the build made.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kTracks = 35;
constexpr size_t kImageSize = 683 * 256;  // 35 tracks, no error bytes
constexpr uint8_t kClosedPrg = 0x82;

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Tracks 1-17 have 21 sectors, 18-24 19, 25-30 18, 31-35 17.
int sectors_on(int track) { return track <= 17 ? 21 : track <= 24 ? 19 : track <= 30 ? 18 : 17; }

bool valid(int track, int sector) {
    return track >= 1 && track <= kTracks && sector >= 0 && sector < sectors_on(track);
}

const uint8_t* sector_at(const Bytes& image, int track, int sector) {
    size_t index = 0;
    for (int t = 1; t < track; ++t) index += sectors_on(t);
    return image.data() + (index + sector) * 256;
}

struct DiskFile {
    std::string name;  // PETSCII, the 0xA0 padding removed
    uint8_t type = 0;
    unsigned blocks = 0;  // as the directory states it
    Bytes data;
    std::vector<std::pair<int, int>> sectors;  // the chain as read
    std::string error;
};

// Follows a chain of sectors; a link to track 0 ends it, its sector byte
// then being the index of the last used byte.
void read_chain(const Bytes& image, int track, int sector, DiskFile& file) {
    std::set<std::pair<int, int>> seen;
    while (track != 0) {
        if (!valid(track, sector) || !seen.insert({track, sector}).second) {
            file.error = "bad or repeated link to " + std::to_string(track) + "/" + std::to_string(sector);
            return;
        }
        file.sectors.push_back({track, sector});
        const uint8_t* block = sector_at(image, track, sector);
        const int last = block[0] != 0 ? 255 : block[1] < 2 ? 1 : block[1];
        file.data.insert(file.data.end(), block + 2, block + last + 1);
        track = block[0];
        sector = block[1];
    }
}

std::vector<DiskFile> read_directory(const Bytes& image) {
    std::vector<DiskFile> files;
    DiskFile directory;  // the directory is a chain itself
    const uint8_t* bam = sector_at(image, 18, 0);
    read_chain(image, bam[0], bam[1], directory);
    EXPECT_EQ(directory.error, "");
    EXPECT_EQ(directory.data.size() % 254, 0u);
    for (size_t sector = 0; sector < directory.sectors.size(); ++sector) {
        const uint8_t* block = sector_at(image, directory.sectors[sector].first, directory.sectors[sector].second);
        for (int entry = 0; entry < 8; ++entry) {
            const uint8_t* e = block + entry * 32;
            if (e[2] == 0) continue;  // scratched or never used
            DiskFile file;
            file.type = e[2];
            for (int i = 5; i < 21 && e[i] != 0xA0; ++i) file.name += static_cast<char>(e[i]);
            file.blocks = e[30] | e[31] << 8;
            read_chain(image, e[3], e[4], file);
            files.push_back(file);
        }
    }
    return files;
}

bool marked_free(const Bytes& image, int track, int sector) {
    const uint8_t* entry = sector_at(image, 18, 0) + 4 * track;
    return entry[1 + sector / 8] >> (sector % 8) & 1;
}

class DiskImage : public ::testing::Test {
protected:
    void SetUp() override {
        image = read_file(ZORBIN_DISK_IMAGE);
        ASSERT_EQ(image.size(), kImageSize) << ZORBIN_DISK_IMAGE;
    }
    Bytes image;
};

TEST_F(DiskImage, IsAStandardDosDisk) {
    const uint8_t* bam = sector_at(image, 18, 0);
    EXPECT_EQ(bam[0], 18);
    EXPECT_EQ(bam[1], 1);
    EXPECT_EQ(bam[2], 'A');  // the 1541's DOS version byte
    EXPECT_EQ(bam[0xA5], '2');
    EXPECT_EQ(bam[0xA6], 'A');
    // The free count of every track agrees with its map, and nothing past
    // the track's last sector is marked free.
    for (int track = 1; track <= kTracks; ++track) {
        int free = 0;
        for (int sector = 0; sector < 24; ++sector) {
            if (!marked_free(image, track, sector)) continue;
            EXPECT_LT(sector, sectors_on(track)) << "track " << track;
            ++free;
        }
        EXPECT_EQ(bam[4 * track], free) << "track " << track;
    }
    EXPECT_FALSE(marked_free(image, 18, 0));
    EXPECT_FALSE(marked_free(image, 18, 1));
}

TEST_F(DiskImage, HoldsTheReceiverAndTheDemoTuneAsBuilt) {
    const std::vector<DiskFile> files = read_directory(image);
    ASSERT_EQ(files.size(), 2u);
    const struct {
        const char* name;
        const char* built;
    } expected[] = {{"RECEIVER", ZORBIN_RECEIVER_PRG}, {"DEMO.SID", ZORBIN_DEMO_SID}};
    for (size_t i = 0; i < 2; ++i) {
        const DiskFile& file = files[i];
        EXPECT_EQ(file.name, expected[i].name);
        EXPECT_EQ(file.type, kClosedPrg) << file.name;
        EXPECT_EQ(file.error, "") << file.name;
        const Bytes built = read_file(expected[i].built);
        ASSERT_FALSE(built.empty()) << expected[i].built;
        EXPECT_TRUE(file.data == built) << file.name << " differs from " << expected[i].built;
        EXPECT_EQ(file.blocks, file.sectors.size()) << file.name;
        // A sector a file uses but the BAM calls free is overwritten by the
        // next file the user saves.
        for (const auto& ts : file.sectors)
            EXPECT_FALSE(marked_free(image, ts.first, ts.second))
                << file.name << " uses " << ts.first << "/" << ts.second;
    }
}

}  // namespace
