// What differs between the two deliverables, in one place. Every shared
// source asks the profile; only this header looks at the build switch.
#pragma once

#ifdef ZORBIN_FIXED_BUILD
#include "fixed/fixed_profile.h"
#else
#include "plugin/full_profile.h"
#endif
