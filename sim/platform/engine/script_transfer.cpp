// The scripts in force as bytes, for a worker process of the same build to
// start from: export_scripts writes them, import_scripts reads them back.
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "../engine.h"
#include "byte_writer.h"
#include "script_store.h"

namespace zelsim {
namespace {

// The data opens with what reader and writer must agree on: the format, and
// the platform functions whose codes it uses (another build may list others).
constexpr std::uint32_t kMagic = 'z' | 's' << 8 | 's' << 16 | '1' << 24;  // "zss1" in memory

std::uint32_t functions_digest() {
    std::uint32_t digest = 2166136261u;  // FNV-1a over the names, each ended by a NUL
    for (int i = 0; i < kFunctionCount; ++i) {
        const char *name = fn_name(static_cast<Fn>(i));
        for (const char *c = name; *c != '\0'; ++c) {
            digest = (digest ^ static_cast<unsigned char>(*c)) * 16777619u;
        }
        digest *= 16777619u;
    }
    return digest;
}

// Smallest sizes on the wire: each count read is checked against the data
// left before anything is allocated for it.
constexpr std::size_t kHeaderBytes = 4 + 4;              // magic, function list
constexpr std::size_t kStepBytes = 8 + 8 + 4 + 4;        // result, delay, two lengths
constexpr std::size_t kScriptBytes = 1 + 1 + 4 + 8 + 4;  // function, key, position, count

[[noreturn]] void refuse(const std::string &what) {
    throw std::invalid_argument(what);
}

// Reads the fields export_scripts writes, never past the end of the data:
// data cut short is refused naming the field it ends in.
class Reader {
  public:
    explicit Reader(std::string_view data) : data_(data) {}

    template <typename T>
    T raw(const char *field) {
        T value;
        if (left() < sizeof value) {
            ended_in(field);
        }
        std::memcpy(&value, data_.data() + pos_, sizeof value);
        pos_ += sizeof value;
        return value;
    }

    std::string bytes(const char *field) {
        const auto size = raw<std::uint32_t>(field);
        if (left() < size) {
            ended_in(field);
        }
        std::string out(data_.data() + pos_, size);
        pos_ += size;
        return out;
    }

    // A count of items of at least `least` bytes each: never more than the
    // data left can hold, so that what is allocated for them is bounded.
    std::uint32_t count(const char *field, std::size_t least) {
        const auto n = raw<std::uint32_t>(field);
        if (n > left() / least) {
            refuse("the " + std::string(field) + where_ + " (" + std::to_string(n) +
                   ") is more than the " + std::to_string(left()) + " bytes left can hold");
        }
        return n;
    }

    // Where the fields read next are, for the messages: " of script 2".
    void at(std::string where) { where_ = std::move(where); }
    const std::string &where() const { return where_; }
    std::size_t left() const { return data_.size() - pos_; }

  private:
    [[noreturn]] void ended_in(const char *field) const {
        refuse("the data ends inside the " + std::string(field) + where_);
    }

    std::string_view data_;
    std::size_t pos_ = 0;
    std::string where_;
};

void read_header(Reader &in) {
    if (in.left() < kHeaderBytes || in.raw<std::uint32_t>("magic") != kMagic) {
        refuse("not scripts exported by the simulator");
    }
    if (in.raw<std::uint32_t>("function list") != functions_digest()) {
        refuse("scripts of another build of the simulator (its platform functions differ)");
    }
}

Step read_step(Reader &in) {
    Step step;
    step.result = in.raw<std::int64_t>("result");
    step.delay = checked_delay(in.raw<double>("delay"));
    step.record = std::make_shared<const std::string>(in.bytes("record"));
    step.aux = std::make_shared<const std::string>(in.bytes("aux"));
    return step;
}

ScriptKey read_key(Reader &in) {
    const auto fn = in.raw<std::uint8_t>("function");
    if (fn >= kFunctionCount) {
        refuse("function code " + std::to_string(fn) + in.where() + " is not one of the " +
               std::to_string(kFunctionCount) + " platform functions");
    }
    const auto keyed = in.raw<std::uint8_t>("key flag");
    std::string key = in.bytes("key");
    if (keyed > 1 || (keyed == 0 && !key.empty())) {
        refuse("key flag " + std::to_string(keyed) + in.where() + " with a key of " +
               std::to_string(key.size()) + " bytes");
    }
    return ScriptKey{static_cast<Fn>(fn), keyed ? std::optional(std::move(key)) : std::nullopt};
}

std::size_t read_position(Reader &in) {
    const auto next = in.raw<std::uint64_t>("position");
    if constexpr (sizeof(std::size_t) < sizeof next) {
        if (next > std::numeric_limits<std::size_t>::max()) {
            refuse("position " + std::to_string(next) + in.where() + " out of range");
        }
    }
    return static_cast<std::size_t>(next);
}

Script read_script(Reader &in) {
    Script script;
    script.next = read_position(in);
    const std::uint32_t count = in.count("step count", kStepBytes);
    if (count == 0) {
        refuse("the step count" + in.where() + " is 0");
    }
    script.steps.reserve(count);
    const std::string of_script = in.where();
    for (std::uint32_t i = 1; i <= count; ++i) {
        in.at(" of step " + std::to_string(i) + of_script);
        script.steps.push_back(read_step(in));
    }
    return script;
}

void append_script(std::string &out, const ScriptKey &key, const Script &script) {
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

}  // namespace

std::string export_scripts() {
    const Scripts &scripts = scripts_in_force();
    std::string out;
    append_raw<std::uint32_t>(out, kMagic);
    append_raw<std::uint32_t>(out, functions_digest());
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(scripts.size()));
    for (const auto &[key, script] : scripts) {
        append_script(out, key, script);
    }
    return out;
}

void import_scripts(std::string_view data) {
    Reader in(data);
    read_header(in);
    const std::uint32_t count = in.count("script count", kScriptBytes);
    Scripts scripts;
    for (std::uint32_t i = 1; i <= count; ++i) {
        in.at(" of script " + std::to_string(i));
        ScriptKey key = read_key(in);
        const Fn fn = key.first;
        if (!scripts.emplace(std::move(key), read_script(in)).second) {
            refuse("script " + std::to_string(i) + " repeats a script of " +
                   std::string(fn_name(fn)) + " for the same key");
        }
    }
    if (in.left() != 0) {
        refuse(std::to_string(in.left()) + " bytes follow the last script");
    }
    scripts_in_force() = std::move(scripts);
}

}  // namespace zelsim
