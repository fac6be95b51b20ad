#include "mtraceroute/builtins.hpp"

#include "core/module_namespace.hpp"
#include "mtraceroute/strings.hpp"

namespace zel {

TracerouteBuiltins traceroute_builtins;

void cache_traceroute_builtins() {
    Py_XSETREF(traceroute_builtins.format, builtin(traceroute_names.format).release());
    Py_XSETREF(traceroute_builtins.value_error, builtin(traceroute_names.ValueError).release());
}

}  // namespace zel
