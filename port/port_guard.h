// The ready probe as the DLLs run it: the first port access of every
// sequence, made under a guard so that a system that refuses port access
// (NT without the port driver) gives an answer instead of killing the host.
// Ready also means that every port instruction the sequence goes on with is
// allowed: a port base whose registers lie outside the ranges the driver
// opens (a hand-edited setting) has those accesses tried under the guard too.
#pragma once

#include <cstdint>

enum class PortProbe { Ready, NotReady, NoAccess };

PortProbe probe_port(uint16_t port_base);
