// The one lock over the simulator's state, and keeping it usable in a
// child made by fork.
#include <pthread.h>

#include "../engine.h"

namespace zelsim {

std::mutex &state_mutex() {
    static std::mutex m;
    return m;
}

namespace {

// A fork made while other threads are inside the simulator (a web server's
// pre-fork worker model) copies the lock as they hold it, and the child,
// where they no longer run, would wait on it for good. The forking thread
// takes the lock around the fork instead: the child starts with the state
// whole and the lock free. Holders of the lock never wait on anything else,
// so the fork waits at most for one simulated call's bookkeeping.
void lock_state_for_fork() {
    state_mutex().lock();
}

void unlock_state_after_fork() {
    state_mutex().unlock();
}

[[maybe_unused]] const int g_fork_handlers =
    pthread_atfork(lock_state_for_fork, unlock_state_after_fork, unlock_state_after_fork);

}  // namespace
}  // namespace zelsim
