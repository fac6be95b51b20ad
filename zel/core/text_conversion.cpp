#include "core/text_conversion.hpp"

#include "core/calls.hpp"
#include "core/module_namespace.hpp"
#include "core/strings.hpp"

namespace zel {

CString to_bytes(PyObject *value) {
    Ref bytes_fn = global(core_names.bytes_);
    if (Ref direct = shortcuts::bytes(bytes_fn.get(), value, nullptr))
        return CString(std::move(direct));
    return CString(call(bytes_fn.get(), value));
}

CString to_bytes_in_charset(PyObject *value) {
    Ref bytes_fn = global(core_names.bytes_);
    Ref charset = global(core_names._CHARSET);
    if (Ref direct = shortcuts::bytes(bytes_fn.get(), value, charset.get()))
        return CString(std::move(direct));
    return CString(call(bytes_fn.get(), value, charset.get()));
}

Ref text_of(ShortcutScope &scope, const char *field, size_t room) {
    const auto length = static_cast<Py_ssize_t>(text_length(field, room));
    if (Ref direct = shortcuts::text(scope, field, length))
        return direct;
    Ref text_fn = global(core_names.text_);
    Ref bytes = require(PyBytes_FromStringAndSize(field, length));
    return call(text_fn.get(), bytes.get());
}

Ref to_text(ShortcutScope &scope, PyObject *value) {
    if (Ref direct = shortcuts::text_value(scope, value))
        return direct;
    return call(global(core_names.text_).get(), value);
}

}  // namespace zel
