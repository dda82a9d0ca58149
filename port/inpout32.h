// The InpOut32 library, the port-I/O library the plug-in looks for.
#pragma once

#include "port/library_port.h"

extern const PortLibraryTable kInpOut32;
