// Temperature readings, and the two sensor flags cached in the module
// namespace. The flags are the module's only state between calls: each is
// computed once, by its own call of whatever `system_temperatures` is bound
// in the module, and stands until someone binds None to it again.
#include <iterator>

#include "frame/names.hpp"
#include "frame/record.hpp"
#include "hardware/hardware.hpp"
#include "platform/platform.h"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

// The flag's cached value; when unset, computed from the number of readings
// (true when more than `more_than`) and read back from the namespace, so
// that what the caller gets is what the module now holds.
Ref cached_sensor_flag(PyObject *flag, Py_ssize_t more_than) {
    Ref cached = global(flag);
    if (cached.get() != Py_None)
        return cached;
    Ref readings = call(global(K.system_temperatures).get());
    const Py_ssize_t sensors = PyObject_Size(readings.get());
    if (sensors < 0)
        throw_error();
    set_global(flag, sensors > more_than ? Py_True : Py_False);
    return global(flag);
}

}  // namespace

Ref system_temperatures(const Args &) {
    // Cleared so that a platform reporting success without writing the
    // block reads as no sensors rather than as stack contents.
    temp_list_info status{};
    const int result = get_temp_list(&status);
    if (result != 0)
        raise_cfunction_error(K.get_temp_list, result);
    const size_t sensors = valid_entries(status.count, std::size(status.entries));
    Ref readings = require(PyTuple_New(static_cast<Py_ssize_t>(sensors)));
    for (size_t i = 0; i < sensors; ++i) {
        PyTuple_SET_ITEM(readings.get(), static_cast<Py_ssize_t>(i),
                         float_value(status.entries[i].temperature).release());
    }
    return readings;
}

Ref has_temperature_sensor(const Args &) {
    return cached_sensor_flag(K._HAS_TEMPERATURE_SENSOR, 0);
}

Ref multiple_temperature_sensors(const Args &) {
    return cached_sensor_flag(K._MULTIPLE_TEMPERATURE_SENSORS, 1);
}

Ref unset_sensor_flag() {
    return Ref::borrow(Py_None);
}

}  // namespace zel
