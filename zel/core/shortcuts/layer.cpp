#include "core/shortcuts.hpp"
#include "core/shortcuts/direct_tuples.hpp"
#include "core/shortcuts/strings.hpp"

namespace zel {

uint64_t python_calls_made = 0;

namespace shortcuts {

void start_execution() {
    intern_shortcut_strings();
    forget_made_tuples();
}

}  // namespace shortcuts

}  // namespace zel
