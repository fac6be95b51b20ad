// Temperature readings, and the two sensor flags cached in the module
// namespace. The flags are the module's only state between calls: each is
// computed once, by its own call of whatever `system_temperatures` is bound
// in the module, and stands until someone binds None to it again.
#include <iterator>

#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/operation.hpp"
#include "core/record.hpp"
#include "hardware/strings.hpp"
#include "platform/platform.h"

namespace zel {

namespace {

// The flag's cached value; when unset, computed from the number of readings
// (true when more than `more_than`) and read back from the namespace, so
// that what the caller gets is what the module now holds.
Ref cached_sensor_flag(PyObject *flag, Py_ssize_t more_than) {
    Ref cached = global(flag);
    if (cached.get() != Py_None)
        return cached;
    Ref readings = call(global(hardware_names.system_temperatures).get());
    const Py_ssize_t sensors = PyObject_Size(readings.get());
    if (sensors < 0)
        throw_error();
    set_global(flag, sensors > more_than ? Py_True : Py_False);
    return global(flag);
}

// Initial value of both flags: not computed yet.
Ref unset_sensor_flag() {
    return Ref::borrow(Py_None);
}

}  // namespace

ZEL_MODULE_OBJECT(_HAS_TEMPERATURE_SENSOR, unset_sensor_flag);
ZEL_MODULE_OBJECT(_MULTIPLE_TEMPERATURE_SENSORS, unset_sensor_flag);

Ref system_temperatures() {
    // Cleared so that a platform reporting success without writing the
    // block reads as no sensors rather than as stack contents.
    temp_list_info status{};
    const int result = get_temp_list(&status);
    if (result != 0)
        raise_cfunction_error("get_temp_list", result);
    const size_t sensors = valid_entries(status.count, std::size(status.entries));
    Ref readings = require(PyTuple_New(static_cast<Py_ssize_t>(sensors)));
    for (size_t i = 0; i < sensors; ++i) {
        PyTuple_SET_ITEM(readings.get(), static_cast<Py_ssize_t>(i),
                         to_float(status.entries[i].temperature).release());
    }
    return readings;
}
ZEL_OPERATION(system_temperatures);

Ref has_temperature_sensor() {
    return cached_sensor_flag(hardware_names._HAS_TEMPERATURE_SENSOR, 0);
}
ZEL_OPERATION(has_temperature_sensor);

Ref multiple_temperature_sensors() {
    return cached_sensor_flag(hardware_names._MULTIPLE_TEMPERATURE_SENSORS, 1);
}
ZEL_OPERATION(multiple_temperature_sensors);

}  // namespace zel
