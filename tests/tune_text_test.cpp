#include "info/tune_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

SidTune g_tune;
char g_dump[kDumpBufferSize];

std::string line(const std::string& dump, size_t n) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) start = dump.find("\r\n", start) + 2;
    return dump.substr(start, dump.find("\r\n", start) - start);
}

TEST(TuneTitle, AuthorThenName) {
    sid_tune_clear(g_tune);
    char title[1024];
    tune_title(g_tune, title, sizeof title);
    EXPECT_STREQ(title, " - ");
    std::strcpy(g_tune.author, "A");
    std::strcpy(g_tune.name, "B");
    tune_title(g_tune, title, sizeof title);
    EXPECT_STREQ(title, "A - B");
    g_tune.author[0] = '\0';
    tune_title(g_tune, title, sizeof title);
    EXPECT_STREQ(title, " - B");
    std::memset(g_tune.author, 'x', 32);
    std::memset(g_tune.name, 'y', 32);
    tune_title(g_tune, title, 10);  // a short buffer is never overrun
    EXPECT_STREQ(title, "xxxxxxxxx");
}

TEST(TuneDump, LineFormatAndCharacterMapping) {
    sid_tune_clear(g_tune);
    g_tune.load_address = 0x1000;
    g_tune.length = 4;
    const uint8_t head[] = {0x41, 0x00, 0xFF, 0x7F};
    std::memcpy(g_tune.image, head, sizeof head);
    g_tune.image[31] = 0x1F;
    g_tune.image[32] = 0x20;
    g_tune.image[33] = 0x80;
    tune_dump(g_tune, g_dump, sizeof g_dump);
    const std::string dump = g_dump;
    EXPECT_EQ(line(dump, 0), "1000 A  \x7F" + std::string(28, ' '));
    EXPECT_EQ(line(dump, 1), "1020 " + std::string(32, ' '));
    EXPECT_EQ(dump.size(), 27 * 39u);  // a short tune still shows 27 lines
    EXPECT_EQ(dump.substr(dump.size() - 2), "\r\n");
}

TEST(TuneDump, AddressesDoNotWrapAt64K) {
    sid_tune_clear(g_tune);
    g_tune.load_address = 0xFFE0;
    g_tune.length = 0x20;
    tune_dump(g_tune, g_dump, sizeof g_dump);
    const std::string dump = g_dump;
    EXPECT_EQ(line(dump, 0).substr(0, 5), "FFE0 ");
    EXPECT_EQ(line(dump, 1).substr(0, 6), "10000 ");
    EXPECT_EQ(line(dump, 1).size(), 38u);
}

TEST(TuneDump, ClearedTuneShowsBlankLinesFromZero) {
    sid_tune_clear(g_tune);
    tune_dump(g_tune, g_dump, sizeof g_dump);
    const std::string dump = g_dump;
    EXPECT_EQ(line(dump, 0), "0000 " + std::string(32, ' '));
    EXPECT_EQ(line(dump, 1), "0020 " + std::string(32, ' '));
    EXPECT_EQ(line(dump, 2), "0040 " + std::string(32, ' '));
}

TEST(TuneDump, CoversTheTuneButStaysBelow64KAndInsideTheBuffer) {
    sid_tune_clear(g_tune);
    g_tune.load_address = 0x1000;
    g_tune.length = 1000;  // 32 lines, the last one partly past the length
    EXPECT_EQ(tune_dump_lines(g_tune), 32u);
    g_tune.load_address = 0x0400;
    g_tune.length = 0xFC00;  // the largest image
    std::memset(g_tune.image, 'Z', sizeof g_tune.image);
    EXPECT_EQ(tune_dump_lines(g_tune), 1600u);  // 2016 lines cut to what the dialog takes
    const size_t length = tune_dump(g_tune, g_dump, sizeof g_dump);
    EXPECT_EQ(length, std::strlen(g_dump));
    EXPECT_LT(length, 65535u);
    // A buffer too small for all lines gets whole lines and a terminator.
    char small[100];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(tune_dump(g_tune, small, sizeof small), 78u);
    EXPECT_EQ(small[78], '\0');
}

}  // namespace
