#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "songlength/md5.h"
#include "tests/support/md5_text.h"
#include "songlength/song_length_db.h"

namespace {

std::string md5_of(const std::string& s) {
    uint8_t digest[kMd5Size];
    md5_digest(reinterpret_cast<const uint8_t*>(s.data()), static_cast<uint32_t>(s.size()), digest);
    return md5_text(digest);
}

TEST(Md5, Rfc1321VectorsAndBlockEdges) {
    EXPECT_EQ(md5_of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5_of("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5_of("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(md5_of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(md5_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(md5_of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // Where the length no longer fits the last block, and whole blocks.
    EXPECT_EQ(md5_of(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(md5_of(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(md5_of(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
    EXPECT_EQ(md5_of(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(md5_of(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
}

// A database over a text, with the MD5 of a name standing for a tune's.
struct Db {
    explicit Db(std::string text, uint32_t capacity = 4096) : text_(std::move(text)), storage_(capacity) {
        song_length_index_build(index, text_.data(), static_cast<uint32_t>(text_.size()),
                                storage_.data(), capacity);
    }
    int32_t find(const std::string& tune) const {
        uint8_t md5[kMd5Size];
        md5_digest(reinterpret_cast<const uint8_t*>(tune.data()), static_cast<uint32_t>(tune.size()), md5);
        return song_length_find(index, md5);
    }
    uint32_t ms(const std::string& tune, uint32_t song) const { return song_length_ms(index, find(tune), song); }
    std::string text_;
    std::vector<SongLengthEntry> storage_;
    SongLengthIndex index;
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    return s;
}

TEST(SongLengthDb, TimesPerSubSongWithMillisecondsAttributesAndLineEnds) {
    const Db db("[Database]\r\n; /MUSICIANS/X/one.sid\r\n" + md5_of("one") +
                "=0:02 1:30.500 2:01(G) 0:00 3:00 (M) 0:04.5\r\n" + upper(md5_of("two")) +
                " = 10:00\n" + md5_of("three") + "=0:03");  // the last line has no end
    EXPECT_EQ(db.ms("one", 1), 2000u);
    EXPECT_EQ(db.ms("one", 2), 90500u);
    EXPECT_EQ(db.ms("one", 3), 121000u);
    EXPECT_EQ(db.ms("one", 4), 0u);        // 0:00 is no time
    EXPECT_EQ(db.ms("one", 5), 180000u);   // an attribute written apart is no song
    EXPECT_EQ(db.ms("one", 6), 4500u);
    EXPECT_EQ(db.ms("one", 7), 0u);        // fewer times than sub-songs
    EXPECT_EQ(db.ms("one", 0), 0u);
    EXPECT_EQ(db.ms("two", 1), 600000u);
    EXPECT_EQ(db.ms("three", 1), 3000u);
    EXPECT_EQ(db.find("four"), kNoSongLengthEntry);
    EXPECT_EQ(song_length_ms(db.index, kNoSongLengthEntry, 1), 0u);
}

TEST(SongLengthDb, MalformedTimesLoseOnlyThemselves) {
    const Db db("[Database]\n" + md5_of("t") +
                "=99:99 -:-- -1:00 99999:00 1:5 1:05.1234 1:05x 1: :05 1:05. 2:01(G 0:07\n");
    for (uint32_t song = 1; song <= 11; ++song) EXPECT_EQ(db.ms("t", song), 0u) << song;
    EXPECT_EQ(db.ms("t", 12), 7000u);
}

TEST(SongLengthDb, OnlyWellFormedLinesOfTheDatabaseSectionAreEntries) {
    const std::string good = "=0:05\n";
    const Db db("; " + md5_of("before") + "\n" + md5_of("before") + good + "[database]\n" +
                md5_of("short").substr(1) + good + md5_of("long") + "0" + good + "g" +
                md5_of("nonhex").substr(1) + good + md5_of("noequals") + " 0:05\n" +
                "  " + md5_of("indented") + good + "[Other]\n" + md5_of("other") + good);
    EXPECT_EQ(db.index.count, 1u);
    EXPECT_EQ(db.ms("indented", 1), 5000u);
    for (const char* tune : {"before", "short", "long", "nonhex", "noequals", "other"})
        EXPECT_EQ(db.find(tune), kNoSongLengthEntry) << tune;
    EXPECT_EQ(Db(md5_of("x") + good).index.count, 0u);  // no [Database] at all
    EXPECT_EQ(Db("").index.count, 0u);
}

TEST(SongLengthDb, FirstOfDuplicatesHoldsAndEveryEntryIsFoundWhateverTheOrder) {
    std::string text = "[Database]\n" + md5_of("dup") + "=0:01\n" + md5_of("dup") + "=0:09\n";
    for (int i = 2000; i-- > 0;) text += md5_of(std::to_string(i)) + "=0:" + std::to_string(10 + i % 50) + "\n";
    const Db db(text);
    EXPECT_EQ(db.ms("dup", 1), 1000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(db.ms(std::to_string(i), 1), (10u + i % 50) * 1000) << i;

    const Db small(text, 3);  // what does not fit is counted, not written
    EXPECT_EQ(small.index.count, 3u);
    EXPECT_EQ(small.index.dropped, 1999u);
}

TEST(SongLengthDb, TruncatedOverlongAndBinaryTextsStayHarmless) {
    const std::string entry = "[Database]\n" + md5_of("t") + "=1:00 1:30";
    EXPECT_EQ(Db(entry.substr(0, entry.size() - 1)).ms("t", 2), 0u);  // cut mid-time
    EXPECT_EQ(Db(entry.substr(0, entry.size() - 1)).ms("t", 1), 60000u);
    EXPECT_EQ(Db(entry.substr(0, 30)).index.count, 0u);               // cut mid-hash

    // A line of megabytes: nothing past its first 8 KB is read, not even the
    // time that the limit cuts in two, and the next line is an entry as usual.
    const std::string head = "[Database]\n" + md5_of("long") + "=0:01";
    std::string overlong = head + std::string(8192 - (head.size() - 11) - 3, ' ') + "1:23.456";
    overlong += std::string(1 << 20, ' ') + "0:02\n" + md5_of("next") + "=0:03\n";
    const Db db(overlong);
    EXPECT_EQ(db.ms("long", 1), 1000u);
    EXPECT_EQ(db.ms("long", 2), 0u);
    EXPECT_EQ(db.ms("long", 3), 0u);
    EXPECT_EQ(db.ms("next", 1), 3000u);

    std::string binary = "[Database]\n";
    uint32_t x = 7;
    for (int i = 0; i < 100000; ++i) binary += static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    const Db noise(binary);
    for (uint32_t i = 0; i < noise.index.count; ++i) song_length_ms(noise.index, static_cast<int32_t>(i), 1);
    EXPECT_EQ(noise.find("t"), kNoSongLengthEntry);
}

}  // namespace
