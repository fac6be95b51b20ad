// The zelsim_* control interface over the engine and the stateful parts.
// Every call runs inside the guard (guard.h): a failure is its thread's to
// fetch with zelsim_failure, never an exception in the caller.
#include "exports.h"

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>

#include "engine.h"
#include "guard.h"
#include "subsystems.h"

namespace {

std::string bytes_of(const void *p, std::size_t n) {
    return p == nullptr ? std::string() : std::string(static_cast<const char *>(p), n);
}

zelsim::Step step_of(const zelsim_step &s) {
    return zelsim::Step{s.result,
                        std::make_shared<const std::string>(bytes_of(s.record, s.record_len)),
                        zelsim::checked_delay(s.delay),
                        std::make_shared<const std::string>(bytes_of(s.aux, s.aux_len))};
}

// The size protocol shared by every serialising call: report the size,
// copy only when it all fits.
std::size_t hand_out(const std::string &data, void *buf, std::size_t cap) {
    if (buf != nullptr && cap >= data.size()) {
        std::memcpy(buf, data.data(), data.size());
    }
    return data.size();
}

zelsim::Fn function_named(const char *fn) {
    auto which = fn == nullptr ? std::nullopt : zelsim::fn_from_name(fn);
    if (!which) {
        throw std::invalid_argument("no platform function named " +
                                    std::string(fn == nullptr ? "(null)" : fn));
    }
    return *which;
}

std::atomic<bool> g_startup_claimed{false};

}  // namespace

const char *zelsim_function_name(int index) {
    return zelsim::control_answer(__func__, static_cast<const char *>(nullptr), [&] {
        return index < 0 || index >= zelsim::kFunctionCount
                   ? nullptr
                   : zelsim::fn_name(static_cast<zelsim::Fn>(index));
    });
}

void zelsim_reset(void) {
    zelsim::control_step(__func__, [] {
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::reset_engine();
        zelsim::reset_config_db();
        zelsim::reset_traces();
    });
}

int zelsim_script(const char *fn, const void *key, size_t key_len, const zelsim_step *steps,
                  size_t n) {
    return zelsim::control_answer(__func__, -1, [&] {
        const zelsim::Fn which = function_named(fn);
        std::vector<zelsim::Step> copied;
        for (size_t i = 0; i < n; ++i) {
            copied.push_back(step_of(steps[i]));
        }
        std::string k = bytes_of(key, key_len);
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::set_script(which, key == nullptr ? nullptr : &k, std::move(copied));
        return 0;
    });
}

int zelsim_take_scripts(const char *fn, const void *key, size_t key_len) {
    return zelsim::control_answer(__func__, -1, [&] {
        const zelsim::Fn which = function_named(fn);
        std::string k = bytes_of(key, key_len);
        std::lock_guard lock(zelsim::state_mutex());
        return zelsim::take_scripts(which, key == nullptr ? nullptr : &k);
    });
}

int zelsim_put_back_scripts(int number) {
    return zelsim::control_answer(__func__, -1, [&] {
        std::lock_guard lock(zelsim::state_mutex());
        return zelsim::put_back_scripts(number) ? 0 : -1;
    });
}

int zelsim_slow(const char *fn, double seconds) {
    return zelsim::control_answer(__func__, -1, [&] {
        const zelsim::Fn which = function_named(fn);
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::set_slowness(which, seconds);
        return 0;
    });
}

int zelsim_add_slowness(const char *fn, double seconds) {
    return zelsim::control_answer(__func__, -1, [&] {
        const zelsim::Fn which = function_named(fn);
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::add_block_slowness(which, seconds);
        return 0;
    });
}

double zelsim_slowness(const char *fn) {
    return zelsim::control_answer(__func__, -1.0, [&] {
        const zelsim::Fn which = function_named(fn);
        std::lock_guard lock(zelsim::state_mutex());
        return zelsim::slowness(which);
    });
}

size_t zelsim_export_scripts(void *buf, size_t cap) {
    return zelsim::control_answer(__func__, size_t{0}, [&] {
        std::lock_guard lock(zelsim::state_mutex());
        return hand_out(zelsim::export_scripts(), buf, cap);
    });
}

int zelsim_import_scripts(const void *data, size_t len) {
    return zelsim::control_answer(__func__, -1, [&] {
        std::string_view bytes(data == nullptr ? "" : static_cast<const char *>(data),
                               data == nullptr ? 0 : len);
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::import_scripts(bytes);
        return 0;
    });
}

size_t zelsim_calls(void *buf, size_t cap) {
    return zelsim::control_answer(__func__, size_t{0}, [&] {
        std::lock_guard lock(zelsim::state_mutex());
        return hand_out(zelsim::serialise_calls(), buf, cap);
    });
}

void zelsim_clear_calls(void) {
    zelsim::control_step(__func__, [] {
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::clear_calls();
    });
}

uint64_t zelsim_total_calls(void) {
    return zelsim::control_answer(__func__, uint64_t{0}, [] {
        std::lock_guard lock(zelsim::state_mutex());
        return zelsim::total_calls();
    });
}

int zelsim_claim_startup(void) {
    return zelsim::control_answer(__func__, 0,
                                  [] { return g_startup_claimed.exchange(true) ? 0 : 1; });
}

void zelsim_release_startup(void) {
    zelsim::control_step(__func__, [] { g_startup_claimed.store(false); });
}

int zelsim_open_contexts(void) {
    return zelsim::control_answer(__func__, -1, [] {
        std::lock_guard lock(zelsim::state_mutex());
        return zelsim::open_contexts();
    });
}

size_t zelsim_errors(char *buf, size_t cap) {
    return zelsim::control_answer(__func__, size_t{0}, [&] {
        std::lock_guard lock(zelsim::state_mutex());
        return hand_out(zelsim::joined_errors(), buf, cap);
    });
}

size_t zelsim_hostname(char *buf, size_t cap) {
    return zelsim::control_answer(__func__, size_t{0}, [&] {
        std::lock_guard lock(zelsim::state_mutex());
        return hand_out(zelsim::committed_hostname(), buf, cap);
    });
}

void zelsim_set_hostname(const char *name, size_t len) {
    zelsim::control_step(__func__, [&] {
        std::string copied = bytes_of(name, len);
        std::lock_guard lock(zelsim::state_mutex());
        zelsim::set_hostname(copied);
    });
}

const char *zelsim_failure(void) {
    return zelsim::control_failure();
}

void zelsim_fail_inside(const char *function) {
    zelsim::control_step(__func__, [&] { zelsim::choose_failure(function); });
}
