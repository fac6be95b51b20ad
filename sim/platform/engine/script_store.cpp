// The scripts in force: one per function, or per function and key.
#include "script_store.h"

namespace zelsim {
namespace {

Scripts &scripts() {
    static Scripts s;
    return s;
}

// The last step repeats forever, so a one-step script is a fixed answer.
Step advance(Script &script) {
    std::size_t last = script.steps.size() - 1;
    std::size_t index = script.next < last ? script.next : last;
    ++script.next;
    return script.steps[index];
}

Script *find_script(Fn fn, const std::string *key) {
    if (key != nullptr) {
        auto it = scripts().find(ScriptKey{fn, *key});
        if (it != scripts().end()) {
            return &it->second;
        }
    }
    auto it = scripts().find(ScriptKey{fn, std::nullopt});
    return it == scripts().end() ? nullptr : &it->second;
}

}  // namespace

Scripts &scripts_in_force() {
    return scripts();
}

Scripts take_out(const Place &place) {
    Scripts removed;
    for (auto it = scripts().begin(); it != scripts().end();) {
        if (place.holds(it->first)) {
            removed.insert(scripts().extract(it++));
        } else {
            ++it;
        }
    }
    return removed;
}

Step next_step(Fn fn, const std::string *key) {
    Script *script = find_script(fn, key);
    return script == nullptr ? Step{} : advance(*script);
}

std::vector<Step> script_copy(Fn fn, const std::string *key) {
    Script *script = find_script(fn, key);
    return script == nullptr ? std::vector<Step>{} : script->steps;
}

void set_script(Fn fn, const std::string *key, std::vector<Step> steps) {
    ScriptKey k{fn, key == nullptr ? std::nullopt : std::optional<std::string>(*key)};
    if (steps.empty()) {
        scripts().erase(k);
    } else {
        scripts()[k] = Script{std::move(steps), 0};
    }
}

void reset_scripts() {
    scripts().clear();
}

}  // namespace zelsim
