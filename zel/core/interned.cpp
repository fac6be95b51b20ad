#include "core/interned.hpp"

#include "core/ref.hpp"

namespace zel {

void intern_texts(const InternedText *texts, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (*texts[i].slot == nullptr)
            *texts[i].slot = require(PyUnicode_InternFromString(texts[i].text)).release();
    }
}

void make_number(PyObject *&slot, long value) {
    if (slot == nullptr)
        slot = require(PyLong_FromLong(value)).release();
}

}  // namespace zel
