// Slowness: seconds every call of a function takes on top of what its script
// says, its answer unchanged. Two layers: the scenario's, reset with the
// scripts, and the blocks' (zel_sim.slowing), which a reset inside a block
// leaves alone, as it leaves scripts set aside.
#include <array>

#include "../engine.h"

namespace zelsim {

namespace {

std::array<double, kFunctionCount> g_scenario{};
std::array<double, kFunctionCount> g_blocks{};

std::size_t index_of(Fn fn) {
    return static_cast<std::size_t>(fn);
}

}  // namespace

void set_slowness(Fn fn, double seconds) {
    g_scenario[index_of(fn)] = seconds;
}

void add_block_slowness(Fn fn, double seconds) {
    double &total = g_blocks[index_of(fn)];
    total += seconds;
    if (total < 1e-9) {  // blocks ended: exactly none, whatever the rounding
        total = 0.0;
    }
}

double slowness(Fn fn) {
    return g_scenario[index_of(fn)] + g_blocks[index_of(fn)];
}

void reset_slowness() {
    g_scenario.fill(0.0);
}

}  // namespace zelsim
