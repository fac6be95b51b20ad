// C-level exports of the sibling modules, obtained at initialisation from
// each module's `__pyx_capi__` table of capsules: the lookups every part
// uses, and util.string's bounded copy, which several subsystems use.
#pragma once

namespace zel {

// The variable `module` exports under `name` (signature "char *"), by
// address. Throws PyErrorSet.
char **import_variable(const char *module, const char *name);

// The function `module` exports under `name` with the signature `sig`.
// Throws PyErrorSet.
void *import_function_pointer(const char *module, const char *name, const char *sig);

template <typename Fn>
void import_function(const char *module, const char *name, const char *sig, Fn *&slot) {
    slot = reinterpret_cast<Fn *>(import_function_pointer(module, name, sig));
}

struct UtilStringExports {
    // strtcpy(dst, size, src): a NUL-terminated copy of at most size - 1 bytes.
    int (*strtcpy)(char *dst, int size, const char *src) = nullptr;
};

extern UtilStringExports util_string;

// Throws PyErrorSet.
void import_util_string();

}  // namespace zel
