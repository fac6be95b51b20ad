// Flash image partitions: partitions without an image come first, then the
// partitions holding one, each group in record order.
#include <iterator>

#include "core/convert.hpp"
#include "core/operation.hpp"
#include "core/record.hpp"
#include "core/strings.hpp"
#include "hardware/strings.hpp"
#include "platform/platform.h"

namespace zel {

namespace {

// Image names are UTF-8 on the flash, decoded strictly: a corrupt name is
// an error, not a guess.
Ref image_name(const char (&field)[64]) {
    return require(PyUnicode_DecodeUTF8(
        field, static_cast<Py_ssize_t>(text_length(field, sizeof field)), "strict"));
}

Ref partition_dict(const flash_info &record) {
    DictBuilder d;
    d.set(hardware_names.partition, to_int(record.partition))
        .set(hardware_names.image, image_name(record.image))
        .set(hardware_names.tot_size, to_int_unsigned(record.tot_size))
        .set(hardware_names.used_size, to_int_unsigned(record.used_size))
        .set(hardware_names.usage, to_int_unsigned(record.usage))
        .set(hardware_names.active, to_int(record.active));
    return d.take();
}

bool holds_image(PyObject *partition) {
    PyObject *image = PyDict_GetItemWithError(partition, hardware_names.image);
    if (image == nullptr) {
        if (!PyErr_Occurred())
            PyErr_SetObject(PyExc_KeyError, hardware_names.image);
        throw_error();
    }
    return require_status(PyObject_RichCompareBool(image, core_names.empty, Py_NE)) != 0;
}

}  // namespace

Ref get_flashs() {
    // The platform's result says nothing the module relies on; it relies on
    // `count` instead. The block is cleared first so that a platform that
    // writes nothing reads as no partitions.
    flash_list_info f{};
    (void)get_flash_list(&f);
    Ref source = new_list();
    const size_t partitions = valid_entries(f.count, std::size(f.entries));
    if (partitions == 0)
        return source;
    Ref source2 = new_list();
    for (size_t i = 0; i < partitions; ++i) {
        Ref d = partition_dict(f.entries[i]);
        append(holds_image(d.get()) ? source.get() : source2.get(), d);
    }
    const Py_ssize_t end = PyList_GET_SIZE(source2.get());
    require_status(PyList_SetSlice(source2.get(), end, end, source.get()));
    return source2;
}
ZEL_OPERATION(get_flashs);

}  // namespace zel
