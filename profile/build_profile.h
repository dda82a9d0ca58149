// What differs between the two deliverables, in one place. Every shared
// source asks the profile; only this header looks at the build switch.
#pragma once

#ifdef ZORBIN_FIXED_BUILD
#include "profile/fixed.h"
#else
#include "profile/full.h"
#endif
