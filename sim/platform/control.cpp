// The zelsim_* control interface over the engine and the stateful parts.
#include "exports.h"

#include <atomic>
#include <cstring>

#include "engine.h"
#include "subsystems.h"

namespace {

std::string bytes_of(const void *p, std::size_t n) {
    return p == nullptr ? std::string() : std::string(static_cast<const char *>(p), n);
}

zelsim::Step step_of(const zelsim_step &s) {
    return zelsim::Step{s.result,
                        std::make_shared<const std::string>(bytes_of(s.record, s.record_len)),
                        s.delay, std::make_shared<const std::string>(bytes_of(s.aux, s.aux_len))};
}

// The size protocol shared by every serialising call: report the size,
// copy only when it all fits.
std::size_t hand_out(const std::string &data, void *buf, std::size_t cap) {
    if (buf != nullptr && cap >= data.size()) {
        std::memcpy(buf, data.data(), data.size());
    }
    return data.size();
}

int change_slowness(const char *fn, double seconds, void (*change)(zelsim::Fn, double)) {
    auto which = fn == nullptr ? std::nullopt : zelsim::fn_from_name(fn);
    if (!which) {
        return -1;
    }
    std::lock_guard lock(zelsim::state_mutex());
    change(*which, seconds);
    return 0;
}

}  // namespace

const char *zelsim_function_name(int index) {
    if (index < 0 || index >= zelsim::kFunctionCount) {
        return nullptr;
    }
    return zelsim::fn_name(static_cast<zelsim::Fn>(index));
}

void zelsim_reset(void) {
    std::lock_guard lock(zelsim::state_mutex());
    zelsim::reset_engine();
    zelsim::reset_config_db();
    zelsim::reset_traces();
}

int zelsim_script(const char *fn, const void *key, size_t key_len, const zelsim_step *steps,
                  size_t n) {
    auto which = fn == nullptr ? std::nullopt : zelsim::fn_from_name(fn);
    if (!which) {
        return -1;
    }
    std::vector<zelsim::Step> copied;
    for (size_t i = 0; i < n; ++i) {
        copied.push_back(step_of(steps[i]));
    }
    std::string k = bytes_of(key, key_len);
    std::lock_guard lock(zelsim::state_mutex());
    zelsim::set_script(*which, key == nullptr ? nullptr : &k, std::move(copied));
    return 0;
}

int zelsim_take_scripts(const char *fn, const void *key, size_t key_len) {
    auto which = fn == nullptr ? std::nullopt : zelsim::fn_from_name(fn);
    if (!which) {
        return -1;
    }
    std::string k = bytes_of(key, key_len);
    std::lock_guard lock(zelsim::state_mutex());
    return zelsim::take_scripts(*which, key == nullptr ? nullptr : &k);
}

int zelsim_put_back_scripts(int number) {
    std::lock_guard lock(zelsim::state_mutex());
    return zelsim::put_back_scripts(number) ? 0 : -1;
}

int zelsim_slow(const char *fn, double seconds) {
    return change_slowness(fn, seconds, zelsim::set_slowness);
}

int zelsim_add_slowness(const char *fn, double seconds) {
    return change_slowness(fn, seconds, zelsim::add_block_slowness);
}

double zelsim_slowness(const char *fn) {
    auto which = fn == nullptr ? std::nullopt : zelsim::fn_from_name(fn);
    if (!which) {
        return -1.0;
    }
    std::lock_guard lock(zelsim::state_mutex());
    return zelsim::slowness(*which);
}

size_t zelsim_export_scripts(void *buf, size_t cap) {
    std::lock_guard lock(zelsim::state_mutex());
    return hand_out(zelsim::export_scripts(), buf, cap);
}

int zelsim_import_scripts(const void *data, size_t len) {
    std::string_view bytes(data == nullptr ? "" : static_cast<const char *>(data),
                           data == nullptr ? 0 : len);
    std::lock_guard lock(zelsim::state_mutex());
    return zelsim::import_scripts(bytes) ? 0 : -1;
}

size_t zelsim_calls(void *buf, size_t cap) {
    std::lock_guard lock(zelsim::state_mutex());
    return hand_out(zelsim::serialise_calls(), buf, cap);
}

void zelsim_clear_calls(void) {
    std::lock_guard lock(zelsim::state_mutex());
    zelsim::clear_calls();
}

uint64_t zelsim_total_calls(void) {
    std::lock_guard lock(zelsim::state_mutex());
    return zelsim::total_calls();
}

namespace {
std::atomic<bool> g_startup_claimed{false};
}  // namespace

int zelsim_claim_startup(void) {
    return g_startup_claimed.exchange(true) ? 0 : 1;
}

void zelsim_release_startup(void) {
    g_startup_claimed.store(false);
}

int zelsim_open_contexts(void) {
    std::lock_guard lock(zelsim::state_mutex());
    return zelsim::open_contexts();
}

size_t zelsim_errors(char *buf, size_t cap) {
    std::lock_guard lock(zelsim::state_mutex());
    return hand_out(zelsim::joined_errors(), buf, cap);
}

size_t zelsim_hostname(char *buf, size_t cap) {
    std::lock_guard lock(zelsim::state_mutex());
    return hand_out(zelsim::committed_hostname(), buf, cap);
}

void zelsim_set_hostname(const char *name, size_t len) {
    std::lock_guard lock(zelsim::state_mutex());
    zelsim::set_hostname(bytes_of(name, len));
}
