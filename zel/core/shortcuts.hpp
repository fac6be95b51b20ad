// The speed layer, behind one seam.
//
// Every operation has a plain path: the module-level names it uses looked up
// at each use (the module's dict, then the builtins), the module-level
// bytes_ and text_ called, the named-tuple classes called. Where a speed
// target needs it, a direct path gives the same objects and errors without
// running that Python code: pyramid's own bytes_ and text_ as codec calls
// (core/shortcuts/direct_text.cpp), an instance of a named tuple made as its
// own __new__ makes it (core/shortcuts/direct_tuples.cpp).
//
// A direct path is taken only after a check that reads the state it depends
// on anew: the names, the function objects, the classes' own dicts. No
// notice from the interpreter (dict or type watchers) is relied upon, since
// other code can turn those off. A check made in a ShortcutScope stands for
// the rest of the scope until the module next calls into Python code: in
// between, nothing runs that could change what it read. Every call the
// module makes into Python code goes through core/calls.hpp or
// core/access.hpp, which note it here; code inside a scope calls no other C
// API that can run Python code without noting it (note_python_call), nor
// frees an object that Python code gave it while a check stands.
//
// Built with ZEL_SHORTCUTS=OFF (CMake option ZEL_SHORTCUTS), none of the
// layer is compiled in: the hooks below find nothing to do, and every
// operation takes its plain path.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "core/ref.hpp"

#ifndef ZEL_SHORTCUTS
#error "the build defines ZEL_SHORTCUTS: 1 with the speed layer, 0 without"
#endif

namespace zel {

#if ZEL_SHORTCUTS

// Moves before each call the module makes into Python code.
extern uint64_t python_calls_made;

inline void note_python_call() {
    ++python_calls_made;
}

// A stretch of an operation in which the checks of the direct paths are made
// once: each stands until the module next calls into Python code.
class ShortcutScope {
  public:
    ShortcutScope() = default;
    ShortcutScope(const ShortcutScope &) = delete;
    ShortcutScope &operator=(const ShortcutScope &) = delete;

    // Whether a check noted at `checked` still stands.
    static bool stands(uint64_t checked) { return checked == python_calls_made; }
    static uint64_t now() { return python_calls_made; }

    // The last module-level name looked up in the scope, and its value.
    Ref name, value;
    uint64_t name_checked = kNever;
    // text_ found to be pyramid's own, unchanged.
    uint64_t text_checked = kNever;
    // `tuple_type` found to be a named tuple of the module, unchanged.
    Ref tuple_type;
    uint64_t tuple_checked = kNever;

  private:
    static constexpr uint64_t kNever = UINT64_MAX;
};

namespace shortcuts {

// Called as the execution step starts: interns the layer's names and
// forgets what an earlier execution took note of.
void start_execution();
// Takes note of the module-level bytes_ and text_ as imported, when they are
// pyramid's own; called by the execution step after the imports.
void remember_text_conversions();
// Takes note of a named-tuple class the module made, when it is what
// collections.namedtuple makes.
void remember_named_tuple(PyObject *type);

// Each gives the result of the plain path without running it, or nothing
// when its direct path does not apply.
//
// The value of the module-level `name`, as last looked up in the scope.
inline Ref global(ShortcutScope &scope, PyObject *name) {
    if (scope.name.get() == name && ShortcutScope::stands(scope.name_checked))
        return scope.value;
    return Ref();
}
inline void note_global(ShortcutScope &scope, PyObject *name, const Ref &value) {
    scope.name = Ref::borrow(name);
    scope.value = value;
    scope.name_checked = ShortcutScope::now();
}
//
// text_(bytes of `length` bytes at `field`).
Ref text(ShortcutScope &scope, const char *field, Py_ssize_t length);
// text_(value).
Ref text_value(ShortcutScope &scope, PyObject *value);
// bytes_(value) with `bytes_fn` the bytes_ looked up; with `charset` also
// given, bytes_(value, charset).
Ref bytes(PyObject *bytes_fn, PyObject *value, PyObject *charset);
// type(*items).
Ref named_tuple(ShortcutScope &scope, PyObject *type, PyObject *const *items, size_t n);

// Whether text_ is pyramid's own, unchanged: text_(b) is then
// b.decode("latin-1"), one character per byte.
bool text_is_latin1(ShortcutScope &scope);

}  // namespace shortcuts

#else

inline void note_python_call() {}

class ShortcutScope {
  public:
    ShortcutScope() = default;
    ShortcutScope(const ShortcutScope &) = delete;
    ShortcutScope &operator=(const ShortcutScope &) = delete;
};

namespace shortcuts {

inline void start_execution() {}
inline void remember_text_conversions() {}
inline void remember_named_tuple(PyObject *) {}
inline Ref global(ShortcutScope &, PyObject *) {
    return Ref();
}
inline void note_global(ShortcutScope &, PyObject *, const Ref &) {}
inline Ref text(ShortcutScope &, const char *, Py_ssize_t) {
    return Ref();
}
inline Ref text_value(ShortcutScope &, PyObject *) {
    return Ref();
}
inline Ref bytes(PyObject *, PyObject *, PyObject *) {
    return Ref();
}
inline Ref named_tuple(ShortcutScope &, PyObject *, PyObject *const *, size_t) {
    return Ref();
}
inline bool text_is_latin1(ShortcutScope &) {
    return false;
}

}  // namespace shortcuts

#endif

}  // namespace zel
