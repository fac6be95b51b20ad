// The platform functions' names, made from the one list in functions.h.
#include "../engine.h"

namespace zelsim {
namespace {

#define ZELSIM_NAME(name) #name,
constexpr const char *kNames[kFunctionCount] = {ZELSIM_PLATFORM_FUNCTIONS(ZELSIM_NAME)};
#undef ZELSIM_NAME

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

}  // namespace zelsim
