/*
 * Which ports UserPort.sys opens besides the three legacy parallel ports:
 * the eight registers of the base the plug-in stored as "PortBase" under
 * the driver's service key when it installed the service (which takes an
 * administrator, as does any change of that key). A PCIe or ExpressCard
 * port sits at a base the BIOS assigns, e.g. 0xD010 or 0x3010.
 *
 * Plain C with no kernel headers, shared by the driver and the native tests.
 */
#ifndef ZORBIN_PORT_GRANT_H
#define ZORBIN_PORT_GRANT_H

#define USERPORT_BASE_VALUE L"PortBase"
#define USERPORT_BASE_VALUE_A "PortBase"
#define USERPORT_BASE_REGISTERS 8u
/* Below 0x100 are the system board's own devices (timer, interrupt and DMA
 * controllers, keyboard): no stored value may open those to every program. */
#define USERPORT_LOWEST_BASE 0x100u

/* 1 with [*first, *last] to open for `base`, 0 when it opens nothing. */
static inline int userport_extra_range(unsigned long base, unsigned short* first,
                                       unsigned short* last) {
    if (base < USERPORT_LOWEST_BASE || base > 0x10000ul - USERPORT_BASE_REGISTERS) return 0;
    *first = (unsigned short)base;
    *last = (unsigned short)(base + USERPORT_BASE_REGISTERS - 1u);
    return 1;
}

#endif
