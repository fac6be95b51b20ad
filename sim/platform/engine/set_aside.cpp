// Scripts set aside for a block (take_scripts) and put back when it ends
// (put_back_scripts), blocks ending in any order.
//
// Key by key, the blocks still out whose place holds a key are layers under
// the scripts in force, the latest just below them: each block holds what
// was in force when it began, and what lies just above it is what was
// scripted during its block. Ending a block takes its layer out: for every
// key of its place, the layer just above gives up what it has there for
// what the ended block held (nothing, where the block held no script). Blocks
// ending latest first simply restore; in any order, once every block has
// ended, each function answers as it did before the first began.
#include <map>
#include <set>
#include <utility>

#include "../engine.h"
#include "script_store.h"

namespace zelsim {
namespace {

struct Block {
    Place place;
    Scripts held;
};

// Kept apart from the scripts in force: a reset while blocks are out does
// not lose them.
struct Blocks {
    std::map<int, Block> out;  // by number: the order they began in
    int last = 0;
};

Blocks &blocks() {
    static Blocks b;
    return b;
}

// The layer just above the ended block `number` for key k: the first block
// begun after it, still out, whose place holds k, else the scripts in force.
Scripts &layer_above(int number, const ScriptKey &k) {
    auto &out = blocks().out;
    for (auto it = out.upper_bound(number); it != out.end(); ++it) {
        if (it->second.place.holds(k)) {
            return it->second.held;
        }
    }
    return scripts_in_force();
}

// The keys of the ended block's place that it or a layer above it has a
// script for: the only ones its end changes.
std::set<ScriptKey> keys_at_stake(int number, const Block &ended) {
    std::set<ScriptKey> keys;
    auto add_held = [&](const Scripts &scripts) {
        for (const auto &[k, script] : scripts) {
            if (ended.place.holds(k)) {
                keys.insert(k);
            }
        }
    };
    add_held(ended.held);
    add_held(scripts_in_force());
    auto &out = blocks().out;
    for (auto it = out.upper_bound(number); it != out.end(); ++it) {
        add_held(it->second.held);
    }
    return keys;
}

void give_back(Scripts &layer, const ScriptKey &k, Scripts &held) {
    auto saved = held.find(k);
    if (saved == held.end()) {
        layer.erase(k);
    } else {
        layer[k] = std::move(saved->second);
    }
}

}  // namespace

int take_scripts(Fn fn, const std::string *key) {
    Place place{fn, key == nullptr ? std::nullopt : std::optional(*key)};
    int number = ++blocks().last;
    Scripts held = take_out(place);
    blocks().out.emplace(number, Block{std::move(place), std::move(held)});
    return number;
}

bool put_back_scripts(int number) {
    auto node = blocks().out.extract(number);
    if (node.empty()) {
        return false;
    }
    Block &ended = node.mapped();
    for (const ScriptKey &k : keys_at_stake(number, ended)) {
        give_back(layer_above(number, k), k, ended.held);
    }
    return true;
}

}  // namespace zelsim
