// Failure reports of the exported functions, and the failure a test can
// have one of them meet (zelsim_fail_inside).
#include "guard.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace zelsim {
namespace {

// Fixed rooms: a report must not need memory, which may be what ran out.
thread_local char t_failure[512];
thread_local bool t_failed = false;

std::atomic<bool> g_armed{false};
std::mutex g_chosen_mutex;
char g_chosen[64];

}  // namespace

void note_control_failure(const char *function, const char *what) noexcept {
    (void)function;  // the caller knows which call it made
    std::snprintf(t_failure, sizeof t_failure, "%s", what);
    t_failed = true;
}

void note_platform_failure(const char *function, const char *what) noexcept {
    try {
        std::lock_guard lock(state_mutex());
        add_error(std::string(function) + ": failed inside the simulator (" + what +
                  ") and answered as the platform fails");
    } catch (...) {
        // No memory even for the note: the failure answer is all there is.
    }
}

void forget_control_failure() noexcept {
    t_failed = false;
}

const char *control_failure() noexcept {
    if (!t_failed) {
        return nullptr;
    }
    t_failed = false;
    return t_failure;
}

void choose_failure(const char *function) {
    std::lock_guard lock(g_chosen_mutex);
    std::snprintf(g_chosen, sizeof g_chosen, "%s", function == nullptr ? "" : function);
    g_armed.store(function != nullptr);
}

void fail_if_chosen(const char *function) {
    if (!g_armed.load()) {
        return;
    }
    {
        std::lock_guard lock(g_chosen_mutex);
        if (std::strcmp(g_chosen, function) != 0 || !g_armed.exchange(false)) {
            return;
        }
    }
    throw std::bad_alloc();
}

}  // namespace zelsim
