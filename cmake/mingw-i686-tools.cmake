# The MinGW-w64 tools for 32-bit Windows (Debian: g++-mingw-w64-i686): the
# cross build's compilers, and the kernel headers the port driver is built
# against. The native release test compiles the shipped driver source with
# the same compiler and headers.
set(ZORBIN_MINGW_PREFIX i686-w64-mingw32)
set(ZORBIN_MINGW_DDK /usr/${ZORBIN_MINGW_PREFIX}/include/ddk)
