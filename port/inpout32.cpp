#include "port/inpout32.h"

// Its 32-bit DLL; the 64-bit one (inpoutx64.dll) cannot load into the player.
const PortLibraryTable kInpOut32 = {
    "inpout32.dll",
    "Out32",
    "Inp32",
    "IsInpOutDriverOpen",
    "No access to the parallel port.\n"
    "64-bit Windows cannot load the plug-in's own port driver. Install the InpOut32 library "
    "with its signed driver and put its 32-bit inpout32.dll beside in_zorbin.dll.",
    "No access to the parallel port.\n"
    "The inpout32.dll found is not the InpOut32 library (Out32, Inp32 or IsInpOutDriverOpen "
    "is missing). Put the library's 32-bit inpout32.dll beside in_zorbin.dll.",
    "No access to the parallel port.\n"
    "inpout32.dll is there, but its driver is not open: start the player once as an "
    "administrator, so that the library can install its driver.",
};
