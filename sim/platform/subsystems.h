// Stateful parts of the simulated platform, reset and inspected through the
// control interface. Every function here expects the state mutex held.
#ifndef ZEL_SIM_SUBSYSTEMS_H
#define ZEL_SIM_SUBSYSTEMS_H

#include <string>

namespace zelsim {

void reset_config_db();
std::string committed_hostname();
void set_hostname(const std::string &name);

void reset_traces();
int open_contexts();

}  // namespace zelsim

#endif  // ZEL_SIM_SUBSYSTEMS_H
