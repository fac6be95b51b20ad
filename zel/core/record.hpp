// Turning platform records into Python values.
//
// Record layouts live in include/platform/records.h, pinned by static
// assertions; a reader takes the record as its C struct, bounds its arrays
// here and converts each field with core/convert.hpp and
// core/text_conversion.hpp, so that no text is read past its room and no
// array past its capacity, whatever the platform wrote.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/ref.hpp"

namespace zel {

// The number of valid entries for a platform `count`: a zero or negative
// count gives none, and a count above the array's capacity gives only the
// entries the array holds.
inline size_t valid_entries(int32_t count, size_t capacity) {
    if (count <= 0)
        return 0;
    return static_cast<size_t>(count) < capacity ? static_cast<size_t>(count) : capacity;
}

// A dict filled key by key in a fixed order.
class DictBuilder {
  public:
    DictBuilder() : dict_(require(PyDict_New())) {}

    DictBuilder &set(PyObject *key, const Ref &value) {
        require_status(PyDict_SetItem(dict_.get(), key, value.get()));
        return *this;
    }

    PyObject *get() const { return dict_.get(); }
    Ref take() { return std::move(dict_); }

  private:
    Ref dict_;
};

inline Ref new_list(Py_ssize_t size = 0) {
    return require(PyList_New(size));
}

inline void append(PyObject *list, const Ref &item) {
    require_status(PyList_Append(list, item.get()));
}

}  // namespace zel
