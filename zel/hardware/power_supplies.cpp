// Power supplies, as PSU named tuples with their display names.
#include <iterator>

#include "frame/names.hpp"
#include "frame/record.hpp"
#include "hardware/hardware.hpp"
#include "platform/platform.h"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

PyObject *truth(int32_t word) {
    return word != 0 ? Py_True : Py_False;
}

// The platform names supplies "PSU1", "PSU2", ...; the display name is
// "PSU " and what follows the first "PSU". A name without "PSU" has no
// second part, and the indexing raises IndexError for the whole list.
Ref display_name(PyObject *text, const psu_info &record) {
    Ref name = text_of(text, record.name);
    // A str's own split cannot be replaced; anything else text_ may have
    // returned is asked for its split.
    Ref parts = PyUnicode_CheckExact(name.get()) ? require(PyUnicode_Split(name.get(), K.PSU, -1))
                                                 : call_method(name.get(), K.split, K.PSU);
    Ref tail = require(PyObject_GetItem(parts.get(), K.n_1));
    return require(PyNumber_Add(K.psu_display_prefix, tail.get()));
}

Ref psu_entry(const psu_info &record) {
    Ref psu_type = global(K.PSU);
    Ref text = global(K.text_);
    Ref name = display_name(text.get(), record);
    return new_named_tuple(psu_type.get(), name.get(), truth(record.connected), truth(record.ok));
}

}  // namespace

Ref make_psu_type() {
    return make_named_tuple(K.PSU, K.psu_fields);
}

Ref psu_list(const Args &) {
    // Cleared so that a platform reporting success without writing the
    // block reads as no supplies rather than as stack contents.
    psu_list_info psu_status{};
    const int result = get_psu_list(&psu_status);
    if (result != 0)
        raise_cfunction_error(K.get_psu_list, result);
    // Only 13 records fit ahead of `count`; a larger count stops there.
    const size_t supplies = valid_entries(psu_status.count, std::size(psu_status.entries));
    Ref list = new_list();
    for (size_t i = 0; i < supplies; ++i)
        append(list.get(), psu_entry(psu_status.entries[i]));
    return list;
}

}  // namespace zel
