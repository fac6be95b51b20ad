// The scripts in force as bytes, for a worker process of the same build to
// start from: export_scripts writes them, import_scripts reads them back.
#include <cstring>
#include <string_view>
#include <utility>

#include "../engine.h"
#include "byte_writer.h"
#include "script_store.h"

namespace zelsim {
namespace {

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
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(scripts.size()));
    for (const auto &[key, script] : scripts) {
        append_script(out, key, script);
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
    scripts_in_force() = std::move(scripts);
    return true;
}

}  // namespace zelsim
