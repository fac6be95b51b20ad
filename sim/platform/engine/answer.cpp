// Answering a simulated call: logged, its step picked, slept, its record
// filled.
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "../engine.h"
#include "call_log.h"
#include "script_store.h"

namespace zelsim {

Step take_step(Fn fn, Args args, const std::string *key) {
    log_call(fn, std::move(args));
    Step step = next_step(fn, key);
    step.delay += slowness(fn);
    return step;
}

double checked_delay(double seconds) {
    if (!(seconds >= 0 && seconds <= kLongestDelay)) {  // NaN included
        throw std::invalid_argument("a delay of " + std::to_string(seconds) +
                                    " seconds is not one from 0 to " +
                                    std::to_string(static_cast<int>(kLongestDelay)));
    }
    return seconds;
}

void pause(const Step &step) {
    if (step.delay > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(step.delay));
    }
}

void put_bytes(const std::string &bytes, void *out, std::size_t size) {
    if (out == nullptr || bytes.empty()) {
        return;
    }
    std::memcpy(out, bytes.data(), bytes.size() < size ? bytes.size() : size);
}

int respond(Fn fn, Args args, void *out, std::size_t size, const std::string *key) {
    Step step;
    {
        std::lock_guard lock(state_mutex());
        step = take_step(fn, std::move(args), key);
    }
    pause(step);
    put_record(step, out, size);
    return static_cast<int>(step.result);
}

void reset_engine() {
    reset_scripts();
    reset_slowness();
    reset_call_log();
}

}  // namespace zelsim
