#include "engine.h"

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string_view>
#include <thread>
#include <utility>

namespace zelsim {
namespace {

// Enough history for any test, bounded so that a caller hammering one
// function for hours does not grow the process.
constexpr std::size_t kCallLogCapacity = 4096;

#define ZELSIM_NAME(name) #name,
constexpr const char *kNames[kFunctionCount] = {ZELSIM_PLATFORM_FUNCTIONS(ZELSIM_NAME)};
#undef ZELSIM_NAME

struct Script {
    std::vector<Step> steps;
    std::size_t next = 0;
};

struct Call {
    Fn fn;
    Args args;
};

// The script key: the function and, for keyed scripts, the key bytes.
using ScriptKey = std::pair<Fn, std::optional<std::string>>;

using Scripts = std::map<ScriptKey, Script>;

struct EngineState {
    Scripts scripts;
    std::deque<Call> calls;
    std::uint64_t total_calls = 0;
    std::vector<std::string> errors;
};

EngineState &state() {
    static EngineState s;
    return s;
}

// Scripts set aside by take_scripts, outside EngineState: a reset while they
// are out does not lose them.
struct SetAside {
    Fn fn;
    std::optional<std::string> key;  // nullopt: every script of fn
    Scripts scripts;
};

struct SetAsideState {
    std::map<int, SetAside> entries;
    int last = 0;
};

SetAsideState &set_aside() {
    static SetAsideState s;
    return s;
}

bool in_place(const ScriptKey &k, Fn fn, const std::optional<std::string> &key) {
    return k.first == fn && (!key || k.second == key);
}

bool covers(const SetAside &entry, const ScriptKey &k) {
    return in_place(k, entry.fn, entry.key);
}

Scripts remove_scripts(Fn fn, const std::optional<std::string> &key) {
    Scripts removed;
    auto &scripts = state().scripts;
    for (auto it = scripts.begin(); it != scripts.end();) {
        if (in_place(it->first, fn, key)) {
            removed.emplace(it->first, std::move(it->second));
            it = scripts.erase(it);
        } else {
            ++it;
        }
    }
    return removed;
}

// Where script k of an ended set-aside goes back to: the first block taken
// after it and still out whose place holds k (that block set aside what the
// ended one had put there), else the scripts in force.
Scripts &destination(std::map<int, SetAside> &entries, int ended, const ScriptKey &k) {
    for (auto it = entries.upper_bound(ended); it != entries.end(); ++it) {
        if (covers(it->second, k)) {
            return it->second.scripts;
        }
    }
    return state().scripts;
}

// The script keys an ended set-aside has a say on: those it holds, and those
// of its place in force or held by a later block.
std::set<ScriptKey> keys_of_place(const SetAside &ended, int number,
                                  const std::map<int, SetAside> &entries) {
    std::set<ScriptKey> keys;
    auto add_covered = [&](const Scripts &scripts) {
        for (const auto &entry : scripts) {
            if (covers(ended, entry.first)) {
                keys.insert(entry.first);
            }
        }
    };
    add_covered(ended.scripts);
    add_covered(state().scripts);
    for (auto it = entries.upper_bound(number); it != entries.end(); ++it) {
        add_covered(it->second.scripts);
    }
    return keys;
}

// The last step repeats forever, so a one-step script is a fixed answer.
Step advance(Script &script) {
    std::size_t last = script.steps.size() - 1;
    std::size_t index = script.next < last ? script.next : last;
    ++script.next;
    return script.steps[index];
}

Script *find_script(Fn fn, const std::string *key) {
    auto &scripts = state().scripts;
    if (key != nullptr) {
        auto it = scripts.find(ScriptKey{fn, *key});
        if (it != scripts.end()) {
            return &it->second;
        }
    }
    auto it = scripts.find(ScriptKey{fn, std::nullopt});
    return it == scripts.end() ? nullptr : &it->second;
}

void log_call(Fn fn, Args args) {
    auto &s = state();
    if (s.calls.size() == kCallLogCapacity) {
        s.calls.pop_front();
    }
    s.calls.push_back(Call{fn, std::move(args)});
    ++s.total_calls;
}

template <typename T>
void append_raw(std::string &out, T value) {
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

void append_bytes(std::string &out, const std::string &bytes) {
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(bytes.size()));
    out += bytes;
}

void append_arg(std::string &out, const Arg &arg) {
    if (std::holds_alternative<std::monostate>(arg)) {
        append_raw<std::uint8_t>(out, 0);
    } else if (const auto *i = std::get_if<std::int64_t>(&arg)) {
        append_raw<std::uint8_t>(out, 1);
        append_raw<std::int64_t>(out, *i);
    } else {
        append_raw<std::uint8_t>(out, 2);
        append_bytes(out, std::get<std::string>(arg));
    }
}

// Reads the fields export_scripts writes, never past the end of the data.
class Reader {
  public:
    explicit Reader(std::string_view data) : data_(data) {}

    template <typename T>
    bool raw(T &value) {
        if (data_.size() - pos_ < sizeof value) {
            return false;
        }
        std::memcpy(&value, data_.data() + pos_, sizeof value);
        pos_ += sizeof value;
        return true;
    }

    bool bytes(std::string &out) {
        std::uint32_t size = 0;
        if (!raw(size) || data_.size() - pos_ < size) {
            return false;
        }
        out.assign(data_.data() + pos_, size);
        pos_ += size;
        return true;
    }

    bool at_end() const { return pos_ == data_.size(); }

  private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

bool read_step(Reader &in, Step &step) {
    std::string record, aux;
    if (!in.raw(step.result) || !in.raw(step.delay) || !in.bytes(record) || !in.bytes(aux)) {
        return false;
    }
    step.record = std::make_shared<const std::string>(std::move(record));
    step.aux = std::make_shared<const std::string>(std::move(aux));
    return true;
}

bool read_script(Reader &in, ScriptKey &key, Script &script) {
    std::uint8_t fn = 0, keyed = 0;
    std::uint64_t next = 0;
    std::uint32_t count = 0;
    std::string key_bytes;
    if (!in.raw(fn) || fn >= kFunctionCount || !in.raw(keyed) || !in.bytes(key_bytes) ||
        !in.raw(next) || !in.raw(count) || count == 0) {
        return false;
    }
    key = ScriptKey{static_cast<Fn>(fn), keyed ? std::optional(key_bytes) : std::nullopt};
    script.next = next;
    script.steps.resize(count);
    for (Step &step : script.steps) {
        if (!read_step(in, step)) {
            return false;
        }
    }
    return true;
}

}  // namespace

const char *fn_name(Fn fn) {
    return kNames[static_cast<int>(fn)];
}

std::optional<Fn> fn_from_name(std::string_view name) {
    for (int i = 0; i < kFunctionCount; ++i) {
        if (name == kNames[i]) {
            return static_cast<Fn>(i);
        }
    }
    return std::nullopt;
}

Arg text_arg(const char *s) {
    if (s == nullptr) {
        return std::monostate{};
    }
    return std::string(s);
}

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

Step take_step(Fn fn, Args args, const std::string *key) {
    log_call(fn, std::move(args));
    Script *script = find_script(fn, key);
    return script == nullptr ? Step{} : advance(*script);
}

std::vector<Step> script_copy(Fn fn, const std::string *key) {
    Script *script = find_script(fn, key);
    return script == nullptr ? std::vector<Step>{} : script->steps;
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

void add_error(std::string message) {
    state().errors.push_back(std::move(message));
}

void reset_engine() {
    state() = EngineState{};
}

void set_script(Fn fn, const std::string *key, std::vector<Step> steps) {
    ScriptKey k{fn, key == nullptr ? std::nullopt : std::optional<std::string>(*key)};
    if (steps.empty()) {
        state().scripts.erase(k);
    } else {
        state().scripts[k] = Script{std::move(steps), 0};
    }
}

int take_scripts(Fn fn, const std::string *key) {
    std::optional<std::string> where = key == nullptr ? std::nullopt : std::optional(*key);
    int number = ++set_aside().last;
    auto removed = remove_scripts(fn, where);
    set_aside().entries.emplace(number, SetAside{fn, std::move(where), std::move(removed)});
    return number;
}

bool put_back_scripts(int number) {
    auto &entries = set_aside().entries;
    auto it = entries.find(number);
    if (it == entries.end()) {
        return false;
    }
    SetAside ended = std::move(it->second);
    entries.erase(it);
    for (const ScriptKey &k : keys_of_place(ended, number, entries)) {
        Scripts &into = destination(entries, number, k);
        auto saved = ended.scripts.find(k);
        if (saved == ended.scripts.end()) {
            into.erase(k);
        } else {
            into[k] = std::move(saved->second);
        }
    }
    return true;
}

std::string serialise_calls() {
    std::string out;
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(state().calls.size()));
    for (const Call &call : state().calls) {
        append_raw<std::uint8_t>(out, static_cast<std::uint8_t>(call.fn));
        append_raw<std::uint8_t>(out, static_cast<std::uint8_t>(call.args.size()));
        for (const Arg &arg : call.args) {
            append_arg(out, arg);
        }
    }
    return out;
}

void clear_calls() {
    state().calls.clear();
    state().total_calls = 0;
}

std::uint64_t total_calls() {
    return state().total_calls;
}

std::string joined_errors() {
    std::string out;
    for (const auto &e : state().errors) {
        out += e;
        out += '\n';
    }
    return out;
}

std::string export_scripts() {
    std::string out;
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(state().scripts.size()));
    for (const auto &[key, script] : state().scripts) {
        append_raw<std::uint8_t>(out, static_cast<std::uint8_t>(key.first));
        append_raw<std::uint8_t>(out, key.second ? 1 : 0);
        append_bytes(out, key.second.value_or(std::string()));
        append_raw<std::uint64_t>(out, script.next);
        append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(script.steps.size()));
        for (const Step &step : script.steps) {
            append_raw<std::int64_t>(out, step.result);
            append_raw<double>(out, step.delay);
            append_bytes(out, step.record_bytes());
            append_bytes(out, step.aux_bytes());
        }
    }
    return out;
}

bool import_scripts(std::string_view data) {
    Reader in(data);
    std::uint32_t count = 0;
    if (!in.raw(count)) {
        return false;
    }
    Scripts scripts;
    for (std::uint32_t i = 0; i < count; ++i) {
        ScriptKey key;
        Script script;
        if (!read_script(in, key, script)) {
            return false;
        }
        scripts[std::move(key)] = std::move(script);
    }
    if (!in.at_end()) {
        return false;
    }
    state().scripts = std::move(scripts);
    return true;
}

}  // namespace zelsim
