#include "core/named_tuples.hpp"

#include "core/calls.hpp"
#include "core/module_namespace.hpp"
#include "core/strings.hpp"

namespace zel {

Ref make_named_tuple(PyObject *type_name, PyObject *fields) {
    Ref type = call(global(core_names.namedtuple).get(), type_name, fields);
    require_status(
        PyObject_SetAttr(type.get(), core_names.__module__, global(core_names.__name__).get()));
    shortcuts::remember_named_tuple(type.get());
    return type;
}

Ref new_named_tuple_of(ShortcutScope &scope, PyObject *type, PyObject *const *items, size_t n) {
    if (Ref direct = shortcuts::named_tuple(scope, type, items, n))
        return direct;
    return call_vector(type, items, n);
}

}  // namespace zel
