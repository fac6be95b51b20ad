# Loaded through CMAKE_USER_MAKE_RULES_OVERRIDE by the device toolchain files,
# after CMake's platform defaults: Python extension modules get the device
# interpreter's suffix.
set(CMAKE_SHARED_MODULE_SUFFIX "${ZEL_DEVICE_EXT_SUFFIX}")
