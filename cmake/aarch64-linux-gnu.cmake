# Cross build for 64-bit ARM Linux (the cross-arm64 presets): Debian's
# crossbuild-essential-arm64 compilers, the arm64 -dev packages installed through
# multiarch (found under /usr/lib/aarch64-linux-gnu), and the built programs run
# under user-mode qemu, which takes the arm64 C and C++ libraries from -L's folder.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
