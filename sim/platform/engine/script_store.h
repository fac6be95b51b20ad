// The scripts in force, as the other parts of the engine see them.
#ifndef ZEL_SIM_ENGINE_SCRIPT_STORE_H
#define ZEL_SIM_ENGINE_SCRIPT_STORE_H

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../engine.h"

namespace zelsim {

struct Script {
    std::vector<Step> steps;
    std::size_t next = 0;
};

// The script key: the function and, for keyed scripts, the key bytes.
using ScriptKey = std::pair<Fn, std::optional<std::string>>;

using Scripts = std::map<ScriptKey, Script>;

// What take_scripts takes out: every script of fn, or its one keyed by key.
struct Place {
    Fn fn;
    std::optional<std::string> key;  // nullopt: every script of fn

    bool holds(const ScriptKey &k) const { return k.first == fn && (!key || k.second == key); }
};

// Lock held, as for everything here.
Scripts &scripts_in_force();

// Removes the scripts in force that place holds and returns them.
Scripts take_out(const Place &place);

// The step fn answers with now (see take_step), advancing its script.
Step next_step(Fn fn, const std::string *key);

void reset_scripts();

}  // namespace zelsim

#endif  // ZEL_SIM_ENGINE_SCRIPT_STORE_H
