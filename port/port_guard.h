// The ready probe as the DLLs run it: the first port access of every
// sequence, made under a guard so that a system that refuses port access
// (NT without the port driver) gives an answer instead of killing the host.
#pragma once

#include <cstdint>

enum class PortProbe { Ready, NotReady, NoAccess };

PortProbe probe_port(uint16_t port_base);
