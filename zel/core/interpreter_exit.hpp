// Whether the interpreter has begun to exit. An atexit callback sets the flag:
// the interpreter runs those callbacks before it ends the daemon threads that
// wait for its lock (core/ref.hpp).
#pragma once

#include <atomic>

namespace zel {

inline std::atomic<bool> interpreter_exit_begun{false};

// Registers the callback that sets `interpreter_exit_begun`, once per
// process. Throws PyErrorSet.
void watch_for_interpreter_exit();

}  // namespace zel
