#include "settings/settings_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string port(uint16_t value) {
    char text[16];
    port_text(value, text, sizeof text);
    return text;
}

std::string time(int32_t ms) {
    char text[16];
    time_text(ms, text, sizeof text);
    return text;
}

TEST(SettingsText, PortTextIsUpperCaseHexPaddedToThreeDigits) {
    EXPECT_EQ(port(0x378), "0x378");
    EXPECT_EQ(port(0x3BC), "0x3BC");
    EXPECT_EQ(port(0x78), "0x 78");
    EXPECT_EQ(port(0x1234), "0x1234");
    EXPECT_EQ(port_from_text("0x278"), 0x278);
    EXPECT_EQ(port_from_text("0x3BC"), 0x3BC);
    EXPECT_EQ(port_from_text("0x3bc"), 0);  // the list's own texts only
    EXPECT_EQ(port_from_text(""), 0);
}

TEST(SettingsText, TimeTextIsMinutesAndSecondsWithLeadingZeros) {
    EXPECT_EQ(time(150000), "02:30");
    EXPECT_EQ(time(600000), "10:00");
    EXPECT_EQ(time(30000), "00:30");
    EXPECT_EQ(time(45999), "00:45");  // seconds truncate
    EXPECT_EQ(time(6000000), "100:00");
    EXPECT_EQ(time(-30000), "00:-30");  // signed division, as stored
}

}  // namespace
