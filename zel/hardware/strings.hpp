// Names, keys and literals of the hardware status operations, interned once
// by intern_hardware_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_HARDWARE_STRINGS(X)                                          \
    /* temperature sensors */                                            \
    X(_HAS_TEMPERATURE_SENSOR, "_HAS_TEMPERATURE_SENSOR")                \
    X(_MULTIPLE_TEMPERATURE_SENSORS, "_MULTIPLE_TEMPERATURE_SENSORS")    \
    X(system_temperatures, "system_temperatures")                        \
    /* power supplies: "PSU" is both the type's name and the separator */ \
    X(PSU, "PSU")                                                        \
    X(psu_fields, "name connected ok")                                   \
    X(psu_display_prefix, "PSU ")                                        \
    X(split, "split")                                                    \
    /* flash partitions */                                               \
    X(partition, "partition")                                            \
    X(image, "image")                                                    \
    X(tot_size, "tot_size")                                              \
    X(used_size, "used_size")                                            \
    X(usage, "usage")                                                    \
    X(active, "active")
// clang-format on

namespace zel {

struct HardwareNames {
    ZEL_HARDWARE_STRINGS(ZEL_STRING_MEMBER)
    PyObject *one = nullptr;  // the index of a supply name's second part
};

extern HardwareNames hardware_names;

// Throws PyErrorSet.
void intern_hardware_strings();

}  // namespace zel
