// util.string: the bounded string copy shared by the back-end's C code.
#include <cstring>

#include "../capi.h"

namespace {

// Leaves dst a NUL-terminated string of at most size - 1 bytes, the source
// cut when longer; returns the number of bytes copied, or -1 when there is
// no room even for the terminator (dst untouched).
int strtcpy(char *dst, int size, const char *src) {
    if (size <= 0 || dst == nullptr) {
        return -1;
    }
    std::size_t n = src == nullptr ? 0 : strnlen(src, static_cast<std::size_t>(size) - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return static_cast<int>(n);
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "util.string",
    "Bounded string copy.",
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int add_exports(PyObject *table) {
    return standins::add_export(table, "strtcpy", standins::function_address(strtcpy),
                                "int (char *, int, char const *)");
}

}  // namespace

PyMODINIT_FUNC PyInit_string(void) {
    return standins::create_module(&module_def, add_exports);
}
