#include "core/text_conversion.hpp"

#include "core/calls.hpp"
#include "core/module_namespace.hpp"
#include "core/snapshot.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

// pyramid.compat's bytes_ and text_ as imported at initialisation, when
// they are the real ones. While the module-level names are still bound to
// these very functions, unchanged, conversions take a direct path with
// identical results. Process-wide and never released: the interpreter may
// be gone when static destructors run.
FunctionSnapshot &compat_bytes = *new FunctionSnapshot;
FunctionSnapshot &compat_text = *new FunctionSnapshot;

// The imported object if it is pyramid's own function of that name, with its
// usual defaults (encoding 'latin-1', errors 'strict'); else NULL.
PyObject *compat_function(PyObject *name) {
    Ref value = global(name);
    if (!PyFunction_Check(value.get()))
        return nullptr;
    PyObject *module = PyFunction_GetModule(value.get());
    if (module == nullptr || !PyUnicode_Check(module))
        return nullptr;
    // pyramid.compat re-exports the functions of pyramid._compat.
    if (PyUnicode_CompareWithASCIIString(module, "pyramid._compat") != 0 &&
        PyUnicode_CompareWithASCIIString(module, "pyramid.compat") != 0)
        return nullptr;
    Ref usual = require(Py_BuildValue("(ss)", "latin-1", "strict"));
    PyObject *defaults = PyFunction_GetDefaults(value.get());
    if (defaults == nullptr ||
        !require_status(PyObject_RichCompareBool(defaults, usual.get(), Py_EQ)) ||
        PyFunction_GetKwDefaults(value.get()) != nullptr)
        return nullptr;
    return value.release();
}

void remember(FunctionSnapshot &snapshot, PyObject *name) {
    snapshot.clear();
    Ref function = Ref::steal(compat_function(name));
    if (function)
        snapshot.take(function.get());
}

// pyramid.compat's bytes_(s, encoding='latin-1', errors='strict') encodes a
// str with s.encode(encoding, errors) and returns anything else as it is.
// For an exact str and the encodings the module uses, the codec functions
// below give the same objects and the same errors; a str subclass may encode
// its own way, so bytes_ is called for it.
Ref direct_bytes(PyObject *value, PyObject *charset) {
    if (!PyUnicode_Check(value))
        return Ref::borrow(value);
    if (charset == nullptr)
        return require(PyUnicode_AsLatin1String(value));
    return require(PyUnicode_AsUTF8String(value));
}

bool direct_bytes_applies(PyObject *bytes_fn, PyObject *charset, PyObject *value) {
    if (!compat_bytes.holds(bytes_fn))
        return false;
    if (PyUnicode_Check(value) && !PyUnicode_CheckExact(value))
        return false;
    if (charset == nullptr || charset == core_names.utf_8)
        return true;
    return PyUnicode_CheckExact(charset) && PyUnicode_Compare(charset, core_names.utf_8) == 0;
}

}  // namespace

void remember_text_conversions() {
    remember(compat_bytes, core_names.bytes_);
    remember(compat_text, core_names.text_);
}

CString to_bytes(PyObject *value) {
    Ref bytes_fn = global(core_names.bytes_);
    if (direct_bytes_applies(bytes_fn.get(), nullptr, value))
        return CString(direct_bytes(value, nullptr));
    return CString(call(bytes_fn.get(), value));
}

CString to_bytes_in_charset(PyObject *value) {
    Ref bytes_fn = global(core_names.bytes_);
    Ref charset = global(core_names._CHARSET);
    if (direct_bytes_applies(bytes_fn.get(), charset.get(), value)) {
        return CString(direct_bytes(value, charset.get()));
    }
    return CString(call(bytes_fn.get(), value, charset.get()));
}

Ref text_of(PyObject *text_fn, const char *field, size_t room) {
    const auto length = static_cast<Py_ssize_t>(text_length(field, room));
    // pyramid's text_ decodes bytes as Latin-1, which cannot fail.
    if (compat_text.holds(text_fn))
        return require(PyUnicode_DecodeLatin1(field, length, nullptr));
    Ref bytes = require(PyBytes_FromStringAndSize(field, length));
    return call(text_fn, bytes.get());
}

Ref text_of(const char *field, size_t room) {
    return text_of(global(core_names.text_).get(), field, room);
}

bool is_pyramids_text(PyObject *text_fn) {
    return compat_text.holds(text_fn);
}

Ref to_text(PyObject *value) {
    Ref text_fn = global(core_names.text_);
    if (compat_text.holds(text_fn.get())) {
        // pyramid's text_ returns what is not bytes unchanged and decodes
        // exact bytes; a subclass may decode its own way, so it is called.
        if (!PyBytes_Check(value))
            return Ref::borrow(value);
        if (PyBytes_CheckExact(value))
            return require(
                PyUnicode_DecodeLatin1(PyBytes_AS_STRING(value), PyBytes_GET_SIZE(value), nullptr));
    }
    return call(text_fn.get(), value);
}

}  // namespace zel
