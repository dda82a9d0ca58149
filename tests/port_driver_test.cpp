// What the port driver opens, and what its set-up tells the user.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "port/driver_messages.h"

extern "C" {
#include "driver/port_grant.h"
}

namespace {

TEST(PortGrant, AStoredBaseOpensItsEightRegistersOnlyClearOfSystemDevices) {
    const struct { unsigned long base; int opened; } cases[] = {
        {0xD010, 1}, {0x100, 1}, {0xFFF8, 1}, {0x3010, 1},
        // Each edge of a system range, from just outside to just inside.
        {0x0F8, 0}, {0x168, 1}, {0x170, 0}, {0x178, 1}, {0x1E8, 1}, {0x1F0, 0}, {0x1F8, 1},
        {0x2E0, 1}, {0x2E8, 0}, {0x2F0, 1}, {0x2F8, 0}, {0x300, 1},
        {0x370, 0},  // reaches the second ATA control register, 0x376
        {0x3A8, 1}, {0x3B0, 0}, {0x3B8, 0}, {0x3C0, 0}, {0x3D8, 0}, {0x3E0, 1}, {0x3E8, 0},
        {0x3F0, 0},  // reaches the first ATA control register, 0x3F6
        {0x3F8, 0}, {0xCF0, 1}, {0xCF8, 0}, {0xD00, 1},
        // The legacy bases are opened anyway: nothing more, and 0x3BC's eight
        // registers would reach into the display adapter.
        {0x278, 0}, {0x378, 0}, {0x3BC, 0},
        // No value, not a multiple of 8, or past the last port.
        {0, 0}, {0xD014, 0}, {0xD011, 0}, {0xFFF9, 0}, {0x10000, 0}, {0x1D010, 0}};
    for (const auto& c : cases) {
        unsigned short first = 0, last = 0;
        ASSERT_EQ(userport_extra_range(c.base, &first, &last), c.opened) << std::hex << c.base;
        if (c.opened) {
            EXPECT_TRUE(first == c.base && last == c.base + 7) << std::hex << c.base;
        }
    }
}

TEST(PortGrant, TheWholeGrantIsTheLegacyRangesPlusAnHonouredBase) {
    // Every port a driver started with a stored value opens.
    const auto opened = [](unsigned long stored) {
        std::string ranges;
        for (unsigned long port = 0; port <= 0xFFFF; ++port) {
            if (userport_opens(port, stored) && !userport_opens(port - 1, stored)) {
                char text[16];
                std::snprintf(text, sizeof text, "%lX-", port);
                ranges += text;
            }
            if (userport_opens(port, stored) && !userport_opens(port + 1, stored)) {
                char text[16];
                std::snprintf(text, sizeof text, "%lX ", port);
                ranges += text;
            }
        }
        return ranges;
    };
    const std::string legacy = "278-27F 378-37F 3BC-3BF ";
    EXPECT_EQ(opened(0), legacy);
    EXPECT_EQ(opened(0x3BC), legacy);
    EXPECT_EQ(opened(0xCF8), legacy);
    EXPECT_EQ(opened(0x380), "278-27F 378-387 3BC-3BF ");  // right after LPT1: one block
    EXPECT_EQ(opened(0xD010), legacy + "D010-D017 ");
    EXPECT_EQ(opened(0xFFF8), legacy + "FFF8-FFFF ");
}

TEST(DriverMessages, EachInstallFailureHasItsText) {
    EXPECT_EQ(driver_install_failure_text(1073), nullptr);  // the service exists: silent
    EXPECT_STREQ(driver_install_failure_text(5),  // access denied
                 "You are not authorized to install drivers.\r\nPlase contact your administrator.");
    EXPECT_STREQ(driver_install_failure_text(1072), "Unable to start driver!");  // marked for deletion
    EXPECT_STREQ(driver_install_failure_text(0), "Unable to start driver!");
    char text[1024];
    driver_missing_text("C:\\WINDOWS\\System32\\Drivers\\UserPort.sys", text, sizeof text);
    EXPECT_EQ(std::string(text),
              "Driver does not exist:\r\nC:\\WINDOWS\\System32\\Drivers\\UserPort.sys\r\n\r\nYou have "
              "to log as user with administrator priviledges, so that you can start port access "
              "service (UserPort.sys).");
}

}  // namespace
