// What answer.cpp records of each call in the call log.
#ifndef ZEL_SIM_ENGINE_CALL_LOG_H
#define ZEL_SIM_ENGINE_CALL_LOG_H

#include "../engine.h"

namespace zelsim {

// Lock held, as for everything here.
void log_call(Fn fn, Args args);

// Empties the log, its count and the misuses noted.
void reset_call_log();

}  // namespace zelsim

#endif  // ZEL_SIM_ENGINE_CALL_LOG_H
