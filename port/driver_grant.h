#pragma once

#include <cstdint>

// Stores the configured port base under the UserPort service's own key, where
// the driver reads which registers to open besides the legacy ranges. Called
// right after the service is created (which takes an administrator, as does
// writing there), so no user can widen the grant by himself. Silent on failure.
void driver_store_port_base(uint16_t port_base);
