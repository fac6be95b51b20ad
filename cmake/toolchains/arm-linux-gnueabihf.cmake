# Cross-compiling zel.zel_util for the switch: 32-bit little-endian ARM Linux
# with the hard-float ABI (arm-linux-gnueabihf).
#
#   cmake -S . -B build/arm -G Ninja \
#         --toolchain cmake/toolchains/arm-linux-gnueabihf.cmake \
#         -DZEL_DEVICE_SYSROOT=/opt/switch-sysroot
#   cmake --build build/arm
#   cmake --install build/arm --prefix stage
#
# ZEL_DEVICE_PYTHON   the device's Python version, "3.12" unless given
#                     (3.13 builds from the same sources).
# ZEL_DEVICE_SYSROOT  the device's root file system, or the SDK's copy of it:
#                     its C library, and that Python's headers in
#                     usr/include/python3.X (pyconfig.h must be the
#                     device's: it holds the sizes of the 32-bit target).
#                     Without it the cross compiler's own sysroot supplies
#                     the C library and Python_INCLUDE_DIR must be given.
# ZEL_CROSS_PREFIX    prefix of the cross compiler's programs, by default
#                     "arm-linux-gnueabihf-" (a vendor toolchain may use
#                     another, or a full path ending in "-").
# Python_EXECUTABLE   a Python of that version on the build host. It only answers the
#                     version question; nothing of the host's Python ends up
#                     in the module.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ZEL_CROSS_PREFIX "arm-linux-gnueabihf-" CACHE STRING "Prefix of the cross compiler's programs")
set(ZEL_DEVICE_PYTHON "3.12" CACHE STRING "Python version of the device (3.X)")
set(ZEL_DEVICE_SYSROOT "" CACHE PATH "Root file system of the device, with its Python's headers")
# try_compile projects read this file again; hand them the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZEL_CROSS_PREFIX ZEL_DEVICE_PYTHON
     ZEL_DEVICE_SYSROOT)
string(REPLACE "." "" ZEL_DEVICE_PYTHON_TAG "${ZEL_DEVICE_PYTHON}")

set(CMAKE_C_COMPILER "${ZEL_CROSS_PREFIX}gcc")
set(CMAKE_CXX_COMPILER "${ZEL_CROSS_PREFIX}g++")

if(ZEL_DEVICE_SYSROOT)
  set(CMAKE_SYSROOT "${ZEL_DEVICE_SYSROOT}")
  set(Python_INCLUDE_DIR "${ZEL_DEVICE_SYSROOT}/usr/include/python${ZEL_DEVICE_PYTHON}"
      CACHE PATH "Python headers of the device")
endif()

# Programs run on the build host; headers and libraries come from the device.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The device's interpreter loads "zel_util.cpython-312-arm-linux-gnueabihf.so"
# (3.12; -313- for 3.13).
# When cross-compiling, FindPython asks no interpreter for that suffix and
# leaves the module's name bare, so the module suffix itself carries it; it is
# set after CMake's platform defaults have been loaded.
set(ZEL_DEVICE_EXT_SUFFIX ".cpython-${ZEL_DEVICE_PYTHON_TAG}-arm-linux-gnueabihf.so")
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_DIR}/device-module-suffix.cmake")
