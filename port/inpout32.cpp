#include "port/inpout32.h"

// Its 32-bit DLL; the 64-bit one (inpoutx64.dll) cannot load into the player.
const PortLibraryExports kInpOut32 = {"inpout32.dll", "Out32", "Inp32", "IsInpOutDriverOpen"};
