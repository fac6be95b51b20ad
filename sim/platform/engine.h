// Scripted-answer engine shared by every simulated platform function; its
// parts are in engine/, one file each: answering a call (answer.cpp), the
// scripts in force (script_store.cpp), scripts set aside and put back
// (set_aside.cpp), scripts as bytes for another process
// (script_transfer.cpp), the extra time calls take (slowness.cpp), the call
// log (call_log.cpp), the lock (state_lock.cpp) and the functions' names
// (function_names.cpp).
//
// All simulator state lives behind one mutex. A simulated call takes the
// lock only to log itself and to pick its answer; the scripted delay is
// slept with the lock released so that other threads keep going, as they
// would while the real platform waits on hardware.
#ifndef ZEL_SIM_ENGINE_H
#define ZEL_SIM_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "functions.h"

namespace zelsim {

#define ZELSIM_ENUMERATOR(name) name,
enum class Fn : std::uint8_t { ZELSIM_PLATFORM_FUNCTIONS(ZELSIM_ENUMERATOR) count_ };
#undef ZELSIM_ENUMERATOR

constexpr int kFunctionCount = static_cast<int>(Fn::count_);

// ---- function_names.cpp ----

// The name of fn as functions.h spells it; the function of that name.
const char *fn_name(Fn fn);
std::optional<Fn> fn_from_name(std::string_view name);

// Record bytes are shared between a script and the steps taken from it, so
// that answering a call copies a record once, into the caller's buffer.
using Bytes = std::shared_ptr<const std::string>;

struct Step {
    std::int64_t result = 0;
    Bytes record;
    double delay = 0.0;
    Bytes aux;

    const std::string &record_bytes() const { return record ? *record : empty(); }
    const std::string &aux_bytes() const { return aux ? *aux : empty(); }

  private:
    static const std::string &empty() {
        static const std::string none;
        return none;
    }
};

// A logged argument: a null pointer, an integer or a byte string.
using Arg = std::variant<std::monostate, std::int64_t, std::string>;
using Args = std::vector<Arg>;

// ---- state_lock.cpp ----

// The single lock over all simulator state.
std::mutex &state_mutex();

// ---- answer.cpp ----

// Lock held: logs the call and returns the step it answers with, its delay
// lengthened by fn's slowness. A keyed script for *key wins over the unkeyed
// one; no script gives a default step.
Step take_step(Fn fn, Args args, const std::string *key = nullptr);

// The longest a step may wait before answering, in seconds (the control
// package's MAX_DELAY).
constexpr double kLongestDelay = 3600;

// seconds, when a step may wait that long; else throws std::invalid_argument.
double checked_delay(double seconds);

// Lock not held: sleeps the step's delay.
void pause(const Step &step);

// Copies bytes into out, at most size of them; the rest of out is left as
// it was, so an empty record writes nothing at all.
void put_bytes(const std::string &bytes, void *out, std::size_t size);
inline void put_record(const Step &step, void *out, std::size_t size) {
    put_bytes(step.record_bytes(), out, size);
}

// Logs, picks, sleeps and fills: the whole life of a plain simulated call.
int respond(Fn fn, Args args, void *out, std::size_t size, const std::string *key = nullptr);

// Lock held: the engine's part of zelsim_reset (scripts, call log, misuses;
// scripts set aside stay aside).
void reset_engine();

// ---- script_store.cpp ----

// Lock held: the full script installed for fn, the one keyed by *key when
// there is one, else the unkeyed one; for callers that replay it on their
// own (trace contexts).
std::vector<Step> script_copy(Fn fn, const std::string *key = nullptr);

// Lock held: installs fn's script (keyed by *key, or the unkeyed one) from
// its first step; no steps removes it.
void set_script(Fn fn, const std::string *key, std::vector<Step> steps);

// ---- set_aside.cpp ----

// Lock held: takes fn's scripts out (every one of fn when key is null, else
// the one keyed by *key) and keeps them, steps and position, under the number
// returned; put_back_scripts(number) removes what fn has in that place now and
// reinstates them exactly. Blocks may end in any order: where a block taken
// later is still out, what it set aside is replaced instead (and restored when
// it ends), so once all have ended fn answers as before the first. Numbers
// survive resets; false for an unknown one.
int take_scripts(Fn fn, const std::string *key);
bool put_back_scripts(int number);

// ---- script_transfer.cpp ----

// Lock held: every script, each with its steps and the position it has
// reached, as bytes that import_scripts turns back into the same scripts
// (in another process of the same build); import_scripts replaces every
// script, or changes nothing and throws std::invalid_argument naming what
// it cannot read (data cut short, or not exported by this build).
std::string export_scripts();
void import_scripts(std::string_view data);

// ---- slowness.cpp ----

// Lock held: the seconds every call of fn takes on top of its step's delay:
// the scenario's (set_slowness; reset_slowness, part of reset_engine, sets
// them all to 0) plus the blocks' (add_block_slowness, which a reset leaves).
void set_slowness(Fn fn, double seconds);
void add_block_slowness(Fn fn, double seconds);
double slowness(Fn fn);
void reset_slowness();

// ---- call_log.cpp ----

// A C string argument as logged: null stays null, anything else its bytes.
Arg text_arg(const char *s);

// Lock held: the calls logged (the latest ones) as the control interface
// hands them out; clear_calls empties the log and its count.
std::string serialise_calls();
void clear_calls();
std::uint64_t total_calls();

// Lock held: notes a misuse of the platform interface; the notes so far,
// one a line.
void add_error(std::string message);
std::string joined_errors();

}  // namespace zelsim

#endif  // ZEL_SIM_ENGINE_H
