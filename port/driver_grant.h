#pragma once

#include <cstdint>

// Stores the configured port base under the UserPort service's own key, where
// the driver reads which registers to open besides the legacy ranges: only a
// base the driver would honour (driver/port_grant.h); for any other the
// value is removed. Called right after the service is created (which takes
// an administrator, as does writing there), so no user can widen the grant
// by himself. Silent on failure.
void driver_store_port_base(uint16_t port_base);
