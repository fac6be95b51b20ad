// Hardware status: temperature readings with the two cached sensor flags,
// power supplies and flash image partitions.
#pragma once

#include "frame/function.hpp"

namespace zel {

Ref system_temperatures(const Args &args);
Ref has_temperature_sensor(const Args &args);
Ref multiple_temperature_sensors(const Args &args);
// Initial value of both sensor flags: not computed yet.
Ref unset_sensor_flag();

// The named tuple type PSU, made by the module-level namedtuple.
Ref make_psu_type();
Ref psu_list(const Args &args);

Ref get_flashs(const Args &args);

}  // namespace zel
