// Power supplies, as PSU named tuples with their display names.
#include <cstring>
#include <iterator>
#include <string_view>

#include "core/access.hpp"
#include "core/calls.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/named_tuples.hpp"
#include "core/operation.hpp"
#include "core/record.hpp"
#include "core/strings.hpp"
#include "core/text_conversion.hpp"
#include "hardware/strings.hpp"
#include "platform/platform.h"

namespace zel {

namespace {

PyObject *truth(int32_t word) {
    return word != 0 ? Py_True : Py_False;
}

// The platform names supplies "PSU1", "PSU2", ...; the display name is
// "PSU " + text_(name).split("PSU")[1]: "PSU " and the text between the
// first and the second "PSU" (or the end). A name without "PSU" has no
// second part, and the indexing raises IndexError for the whole list.
Ref display_name_by_split(ShortcutScope &scope, const psu_info &record) {
    Ref name = text_of(scope, record.name);
    // A str's own split cannot be replaced; anything else text_ may have
    // returned is asked for its split.
    Ref parts = PyUnicode_CheckExact(name.get())
                    ? require(PyUnicode_Split(name.get(), hardware_names.PSU, -1))
                    : call_method(name.get(), hardware_names.split, hardware_names.PSU);
    Ref tail = getitem(parts.get(), hardware_names.one);
    // The tail's own __radd__ may run when it is no str.
    note_python_call();
    return require(PyNumber_Add(hardware_names.psu_display_prefix, tail.get()));
}

#if ZEL_SHORTCUTS
constexpr std::string_view kSeparator = "PSU";
constexpr std::string_view kPrefix = "PSU ";

// The same for pyramid's own text_, which decodes as Latin-1, one character
// per byte: the parts are found in the bytes, and the display name is the
// one string made. It must stay equal to display_name_by_split, the
// IndexError included.
Ref display_name_latin1(const psu_info &record) {
    const std::string_view name(record.name, text_length(record.name, sizeof record.name));
    const size_t first = name.find(kSeparator);
    if (first == std::string_view::npos) {
        raise_error(PyExc_IndexError, "list index out of range");
    }
    const std::string_view tail = name.substr(first + kSeparator.size());
    const std::string_view part = tail.substr(0, tail.find(kSeparator));
    char text[kPrefix.size() + sizeof record.name];
    std::memcpy(text, kPrefix.data(), kPrefix.size());
    std::memcpy(text + kPrefix.size(), part.data(), part.size());
    return require(PyUnicode_DecodeLatin1(
        text, static_cast<Py_ssize_t>(kPrefix.size() + part.size()), nullptr));
}

#endif

Ref display_name(ShortcutScope &scope, const psu_info &record) {
#if ZEL_SHORTCUTS
    if (shortcuts::text_is_latin1(scope))
        return display_name_latin1(record);
#endif
    return display_name_by_split(scope, record);
}

Ref psu_entry(ShortcutScope &scope, const psu_info &record) {
    Ref psu_type = global(scope, hardware_names.PSU);
    Ref name = display_name(scope, record);
    return new_named_tuple(scope, psu_type.get(), name.get(), truth(record.connected),
                           truth(record.ok));
}

Ref make_psu_type() {
    return make_named_tuple(hardware_names.PSU, hardware_names.psu_fields);
}

}  // namespace

ZEL_MODULE_OBJECT(PSU, make_psu_type);

Ref psu_list() {
    // Cleared so that a platform reporting success without writing the
    // block reads as no supplies rather than as stack contents.
    psu_list_info psu_status{};
    const int result = get_psu_list(&psu_status);
    if (result != 0)
        raise_cfunction_error("get_psu_list", result);
    // Only 13 records fit ahead of `count`; a larger count stops there.
    const size_t supplies = valid_entries(psu_status.count, std::size(psu_status.entries));
    Ref list = new_list(static_cast<Py_ssize_t>(supplies));
    // One ShortcutScope for the list (core/shortcuts.hpp): between the
    // entries, the module makes only the list.
    ShortcutScope scope;
    for (size_t i = 0; i < supplies; ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                        psu_entry(scope, psu_status.entries[i]).release());
    }
    return list;
}
ZEL_OPERATION(psu_list);

}  // namespace zel
