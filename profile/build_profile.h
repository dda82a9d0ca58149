// What differs between the two deliverables, in one place: full.h or
// fixed.h, picked here by the build switch. Every shared source asks the
// profile; besides this header only the module record's init slot looks at
// the switch (plugin/module.cpp), because the fixed build does not link the
// set-up that the full build's init calls.
#pragma once

#ifdef ZORBIN_FIXED_BUILD
#include "profile/fixed.h"
#else
#include "profile/full.h"
#endif
