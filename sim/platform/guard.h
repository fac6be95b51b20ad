// The boundary of every function the library exports: what its body throws
// (std::bad_alloc above all, or a refusal of bad input) is caught there and
// reported, and the function gives its failure answer. A C++ exception that
// crossed into the C caller (the product module, ctypes) would end the
// process.
//
// A control call reports to its own thread: zelsim_failure() hands the
// message out, and the Python package raises it. A platform function has no
// such channel: its failure is noted among the misuses (zelsim_errors).
#ifndef ZEL_SIM_GUARD_H
#define ZEL_SIM_GUARD_H

#include <exception>
#include <new>
#include <stdexcept>

#include "engine.h"

namespace zelsim {

using Report = void (*)(const char *function, const char *what) noexcept;

// The failure of this thread's control call, kept for zelsim_failure.
void note_control_failure(const char *function, const char *what) noexcept;
// A platform function's failure, noted among the misuses.
void note_platform_failure(const char *function, const char *what) noexcept;
// Clears this thread's failure: each control call reports its own.
void forget_control_failure() noexcept;
// This thread's failure, taken: nullptr when its last control call did not
// fail. The text stays valid until the thread's next failure.
const char *control_failure() noexcept;

// The next call of `function` (nullptr: of none) fails as out of memory.
void choose_failure(const char *function);

// Throws std::bad_alloc in `function` when zelsim_fail_inside chose it: a
// control call at its start, a platform function while it logs itself, with
// the lock held.
void fail_if_chosen(const char *function);

// Runs body; false when it threw, which is then reported.
template <typename Body>
bool completed(const char *function, Report report, Body &&body) noexcept {
    try {
        body();
        return true;
    } catch (const std::bad_alloc &) {
        report(function, "out of memory");
    } catch (const std::length_error &) {
        report(function, "a length beyond what the simulator can hold");
    } catch (const std::exception &error) {
        report(function, error.what());
    } catch (...) {
        report(function, "an exception of unknown type");
    }
    return false;
}

// What a platform function that failed inside the simulator answers, as
// the platform does when it fails (pointers: null; a trace query: its end).
constexpr int kPlatformFailed = -1;

// A platform function's answer: body's, or `failed` when it threw.
template <typename R, typename Body>
R platform_answer(Fn fn, R failed, Body &&body) noexcept {
    R answer = failed;
    completed(fn_name(fn), note_platform_failure, [&] { answer = body(); });
    return answer;
}

// A control call's result: body's, or `failed` when it threw.
template <typename R, typename Body>
R control_answer(const char *function, R failed, Body &&body) noexcept {
    forget_control_failure();
    R answer = failed;
    completed(function, note_control_failure, [&] {
        fail_if_chosen(function);
        answer = body();
    });
    return answer;
}

template <typename Body>
void control_step(const char *function, Body &&body) noexcept {
    forget_control_failure();
    completed(function, note_control_failure, [&] {
        fail_if_chosen(function);
        body();
    });
}

}  // namespace zelsim

#endif  // ZEL_SIM_GUARD_H
