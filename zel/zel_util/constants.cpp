#include "zel_util/constants.hpp"

namespace zel {

Constants K;

namespace {

struct StringEntry {
    PyObject **slot;
    const char *text;
};

constexpr StringEntry kStrings[] = {
#define ZEL_STRING_ENTRY(id, text) {&K.id, text},
    ZEL_ALL_STRINGS(ZEL_STRING_ENTRY)
#undef ZEL_STRING_ENTRY
};

struct NumberEntry {
    PyObject **slot;
    long value;
};

constexpr NumberEntry kNumbers[] = {
    {&K.n_32, 32},      {&K.n_3, 3},        {&K.n_15, 15},     {&K.n_90, 90},
    {&K.n_5, 5},        {&K.n_30, 30},      {&K.n_4095, 4095}, {&K.n_32768, 32768},
    {&K.n_minus_1, -1}, {&K.n_minus_2, -2}, {&K.n_0, 0},       {&K.n_1, 1},
};

}  // namespace

int create_constants() {
    for (const StringEntry &entry : kStrings) {
        if (*entry.slot != nullptr)
            continue;  // built by an earlier attempt
        *entry.slot = PyUnicode_InternFromString(entry.text);
        if (*entry.slot == nullptr)
            return -1;
    }
    for (const NumberEntry &entry : kNumbers) {
        if (*entry.slot != nullptr)
            continue;
        *entry.slot = PyLong_FromLong(entry.value);
        if (*entry.slot == nullptr)
            return -1;
    }
    if (K.trace_hop_pause == nullptr) {
        K.trace_hop_pause = PyFloat_FromDouble(0.2);
        if (K.trace_hop_pause == nullptr)
            return -1;
    }
    if (K.key_value == nullptr) {
        K.key_value = PyBytes_FromString("sys_confroot");
        if (K.key_value == nullptr)
            return -1;
    }
    return 0;
}

}  // namespace zel
