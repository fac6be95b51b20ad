#include "core/stack_room.hpp"

#include <Python.h>
#include <pthread.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/errors.hpp"
#include "core/ref.hpp"

namespace zel {

namespace {

// What one call may still use below the point where it is admitted: its own
// frames, the Python code and interpreter helpers it runs before the next
// call is checked, and the unwinding of the RecursionError raised here (a
// few KiB, measured; the margin leaves ample room for the rest).
// AddressSanitizer's redzones make every frame of the module larger. On a
// very small stack the margin is a quarter of it, so that calls which fit
// are still made there.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uintptr_t kMargin = 128 * 1024;
#else
constexpr std::uintptr_t kMargin = 64 * 1024;
#endif

// Not yet looked up; and the bounds could not be found.
constexpr std::uintptr_t kUnknown = 0;
constexpr std::uintptr_t kNoLimit = 1;

// The lowest address this thread's calls may reach, margin included; the
// stack grows down. Looked up once per thread: a thread's stack never moves.
thread_local std::uintptr_t t_limit = kUnknown;

std::uintptr_t find_limit() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return kNoLimit;
    void *low = nullptr;
    std::size_t size = 0;
    const int status = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (status != 0 || low == nullptr)
        return kNoLimit;
    return reinterpret_cast<std::uintptr_t>(low) + std::min<std::uintptr_t>(kMargin, size / 4);
}

}  // namespace

void require_stack_room() {
    if (t_limit == kUnknown)
        t_limit = find_limit();
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (here >= t_limit)
        return;
    raise_error(PyExc_RecursionError,
                "maximum recursion depth exceeded while calling a Python object");
}

}  // namespace zel
