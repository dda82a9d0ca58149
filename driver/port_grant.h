/*
 * Which ports UserPort.sys opens: the three legacy parallel ports always,
 * and the eight registers of the base the plug-in stored as "PortBase"
 * under the driver's service key (a PCIe or ExpressCard port, at a base the
 * BIOS assigns, e.g. 0xD010 or 0x3010). Only an administrator can write that
 * key, but the grant goes to every process that opens the device, so a
 * stored base is honoured only when its eight registers stay clear of the
 * system's own devices listed below.
 *
 * Plain C with no kernel headers: the driver, the plug-in (what it stores,
 * what its guarded probe may skip), the player rig's port trap and the
 * native tests all decide from here.
 */
#ifndef ZORBIN_PORT_GRANT_H
#define ZORBIN_PORT_GRANT_H

#define USERPORT_BASE_VALUE L"PortBase"
#define USERPORT_BASE_VALUE_A "PortBase"
#define USERPORT_BASE_REGISTERS 8u

struct userport_range {
    unsigned short first;
    unsigned short last;
};

/* Opened whole for every process that opens the device. 0x3BC has only
 * four registers: 0x3C0 on is the display adapter's. */
static const struct userport_range userport_legacy_ranges[] = {
    {0x278, 0x27F},
    {0x378, 0x37F},
    {0x3BC, 0x3BF},
};

/* Never opened for a stored base, not even in part. */
static const struct userport_range userport_system_ranges[] = {
    {0x000, 0x0FF}, /* system board: timer, interrupt and DMA controllers, keyboard */
    {0x170, 0x177}, /* second ATA channel, command block */
    {0x1F0, 0x1F7}, /* first ATA channel, command block */
    {0x2E8, 0x2EF}, /* serial port 4 */
    {0x2F8, 0x2FF}, /* serial port 2 */
    {0x376, 0x376}, /* second ATA channel, control */
    {0x3B0, 0x3BB}, /* VGA, monochrome registers */
    {0x3C0, 0x3DF}, /* VGA */
    {0x3E8, 0x3EF}, /* serial port 3 */
    {0x3F6, 0x3F6}, /* first ATA channel, control */
    {0x3F8, 0x3FF}, /* serial port 1 */
    {0xCF8, 0xCFF}, /* PCI configuration address and data; 0xCF9 resets the machine */
};

#define USERPORT_COUNT(table) ((unsigned)(sizeof(table) / sizeof((table)[0])))

static inline int userport_overlaps(const struct userport_range* table, unsigned count,
                                    unsigned long first, unsigned long last) {
    unsigned i;
    for (i = 0; i < count; ++i)
        if (first <= table[i].last && last >= table[i].first) return 1;
    return 0;
}

/* 1 when [first, last] lies inside one legacy range. */
static inline int userport_inside_legacy(unsigned long first, unsigned long last) {
    unsigned i;
    for (i = 0; i < USERPORT_COUNT(userport_legacy_ranges); ++i)
        if (first >= userport_legacy_ranges[i].first && last <= userport_legacy_ranges[i].last)
            return 1;
    return 0;
}

/* 1 with [*first, *last] to open for a stored `base`, 0 when it opens
 * nothing: no value, one of the legacy bases (opened anyway), a base that is
 * not a multiple of 8, past 0xFFF8, or touching a system range. */
static inline int userport_extra_range(unsigned long base, unsigned short* first,
                                       unsigned short* last) {
    const unsigned long end = base + USERPORT_BASE_REGISTERS - 1u;
    if (base % USERPORT_BASE_REGISTERS != 0 || end > 0xFFFFul) return 0;
    if (userport_inside_legacy(base, base)) return 0;
    if (userport_overlaps(userport_system_ranges, USERPORT_COUNT(userport_system_ranges), base,
                          end))
        return 0;
    *first = (unsigned short)base;
    *last = (unsigned short)end;
    return 1;
}

/* The whole grant: 1 when the driver, started with `stored_base`, opens `port`. */
static inline int userport_opens(unsigned long port, unsigned long stored_base) {
    unsigned short first, last;
    if (userport_inside_legacy(port, port)) return 1;
    return userport_extra_range(stored_base, &first, &last) && port >= first && port <= last;
}

#endif
