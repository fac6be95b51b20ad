// Direct paths in place of pyramid.compat's bytes_ and text_:
//
//     def bytes_(s, encoding='latin-1', errors='strict'):
//         if isinstance(s, text_type):
//             return s.encode(encoding, errors)
//         return s
//
// and text_, the same with binary_type and s.decode. While the module-level
// names are bound to these very functions, unchanged, and the names they
// read still resolve to the builtin isinstance and to str and bytes, the
// codec functions give the same objects and the same errors for values
// whose type is exactly str, bytes, bytearray or int: no isinstance check
// runs code for those. Anything else (a str subclass with its own encode,
// an object claiming a __class__) goes through the call.
#include <string_view>

#include "core/access.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/shortcuts.hpp"
#include "core/shortcuts/known_function.hpp"
#include "core/shortcuts/strings.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

// Process-wide and never released: the interpreter may be gone when static
// destructors run.
struct CompatFunctions {
    KnownFunction bytes_;
    KnownFunction text_;
};
CompatFunctions &compat = *new CompatFunctions;

bool has_name(PyObject *value, std::string_view name) {
    Ref own = getattr(value, core_names.__name__);
    Py_ssize_t size = 0;
    const char *text =
        PyUnicode_Check(own.get()) ? PyUnicode_AsUTF8AndSize(own.get(), &size) : nullptr;
    if (text == nullptr && PyErr_Occurred())
        throw_error();
    return text != nullptr && std::string_view(text, static_cast<size_t>(size)) == name;
}

// Whether `value` is the interpreter's own isinstance.
bool is_builtin_isinstance(PyObject *value) {
    if (value == nullptr || !PyCFunction_Check(value))
        return false;
    PyObject *self = PyCFunction_GetSelf(value);
    return self != nullptr && PyModule_Check(self) && has_name(self, "builtins") &&
           has_name(value, "isinstance");
}

// pyramid's function of that name, imported as the module-level `name`,
// with its usual defaults (encoding 'latin-1', errors 'strict') and reading
// what its direct path assumes: NULL when it is anything else.
Ref compat_function(PyObject *name) {
    Ref value = global(name);
    if (!PyFunction_Check(value.get()))
        return Ref();
    PyObject *module = PyFunction_GetModule(value.get());
    if (module == nullptr || !PyUnicode_Check(module))
        return Ref();
    // pyramid.compat re-exports the functions of pyramid._compat.
    if (PyUnicode_CompareWithASCIIString(module, "pyramid._compat") != 0 &&
        PyUnicode_CompareWithASCIIString(module, "pyramid.compat") != 0)
        return Ref();
    Ref usual = require(Py_BuildValue("(ss)", "latin-1", "strict"));
    PyObject *defaults = PyFunction_GetDefaults(value.get());
    if (defaults == nullptr ||
        !require_status(PyObject_RichCompareBool(defaults, usual.get(), Py_EQ)) ||
        PyFunction_GetKwDefaults(value.get()) != nullptr)
        return Ref();
    return value;
}

// Takes `name` when it is pyramid's function whose code reads exactly
// `names`: isinstance, the type it checks for, and the method it calls.
void remember(KnownFunction &known, PyObject *name, PyObject *names, PyTypeObject *checked) {
    known.clear();
    Ref function = compat_function(name);
    if (!function)
        return;
    Ref code_names = getattr(PyFunction_GET_CODE(function.get()), shortcut_names.co_names);
    if (!require_status(PyObject_RichCompareBool(code_names.get(), names, Py_EQ)))
        return;
    KnownFunction taken;
    taken.take(function.get());
    PyObject *isinstance = taken.resolved(PyTuple_GET_ITEM(names, 0));
    PyObject *type = taken.resolved(PyTuple_GET_ITEM(names, 1));
    PyObject *method = taken.resolved(PyTuple_GET_ITEM(names, 2));
    if (is_builtin_isinstance(isinstance) && type == reinterpret_cast<PyObject *>(checked) &&
        method == nullptr)
        known = std::move(taken);
}

// Whether text_ is pyramid's, unchanged; noted in `scope`.
bool text_is_direct(ShortcutScope &scope) {
    if (!compat.text_.taken())
        return false;
    if (ShortcutScope::stands(scope.text_checked))
        return true;
    Ref text_fn = global(core_names.text_);
    if (!compat.text_.holds(text_fn.get()))
        return false;
    scope.text_checked = ShortcutScope::now();
    return true;
}

bool is_utf_8(PyObject *charset) {
    return charset == core_names.utf_8 ||
           (PyUnicode_CheckExact(charset) && PyUnicode_Compare(charset, core_names.utf_8) == 0);
}

}  // namespace

namespace shortcuts {

void remember_text_conversions() {
    remember(compat.bytes_, core_names.bytes_, shortcut_names.bytes_reads, &PyUnicode_Type);
    remember(compat.text_, core_names.text_, shortcut_names.text_reads, &PyBytes_Type);
}

bool text_is_latin1(ShortcutScope &scope) {
    return text_is_direct(scope);
}

Ref text(ShortcutScope &scope, const char *field, Py_ssize_t length) {
    // pyramid's text_ decodes bytes as Latin-1, which cannot fail.
    if (!text_is_direct(scope))
        return Ref();
    return require(PyUnicode_DecodeLatin1(field, length, nullptr));
}

Ref text_value(ShortcutScope &scope, PyObject *value) {
    // text_ returns what is not bytes unchanged; for an int or a str, no
    // isinstance check can say otherwise.
    const bool bytes = PyBytes_CheckExact(value);
    if (!bytes && !PyLong_CheckExact(value) && !PyUnicode_CheckExact(value))
        return Ref();
    if (!text_is_direct(scope))
        return Ref();
    if (!bytes)
        return Ref::borrow(value);
    return require(
        PyUnicode_DecodeLatin1(PyBytes_AS_STRING(value), PyBytes_GET_SIZE(value), nullptr));
}

Ref bytes(PyObject *bytes_fn, PyObject *value, PyObject *charset) {
    const bool passes = PyBytes_CheckExact(value) || PyByteArray_CheckExact(value);
    if (!passes && !PyUnicode_CheckExact(value))
        return Ref();
    if (charset != nullptr && !passes && !is_utf_8(charset))
        return Ref();
    if (!compat.bytes_.taken() || !compat.bytes_.holds(bytes_fn))
        return Ref();
    if (passes)
        return Ref::borrow(value);
    if (charset == nullptr)
        return require(PyUnicode_AsLatin1String(value));
    return require(PyUnicode_AsUTF8String(value));
}

}  // namespace shortcuts

}  // namespace zel
