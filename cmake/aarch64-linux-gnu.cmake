# Cross build for 64-bit ARM Linux (Raspberry-Pi-class gateways) with Debian's aarch64 GCC. The
# arm64 libraries come from Debian's multiarch packages (libc6:arm64, libgtest-dev:arm64), so no
# separate sysroot is named: mixing its loader with the multiarch libc hangs qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(BRENNICOT_CROSS_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${BRENNICOT_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${BRENNICOT_CROSS_PREFIX}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${BRENNICOT_CROSS_PREFIX})

# The multiarch directories (/usr/lib/aarch64-linux-gnu) are found from the root through
# CMAKE_LIBRARY_ARCHITECTURE; ONLY keeps the build machine's own libraries out.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under qemu user mode; CTest also hands it to them as BRENNICOT_EMULATOR, through
# which they start the program under test.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

# pkg-config (through which FindOpenSSL looks first) must name the arm64 libraries, not the build
# machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${BRENNICOT_CROSS_PREFIX}/pkgconfig:/usr/share/pkgconfig)
