#include "mtraceroute/strings.hpp"

#include "core/ref.hpp"

namespace zel {

TracerouteNames traceroute_names;

void intern_mtraceroute_strings() {
#define ZEL_SLOT(member, text) {&traceroute_names.member, text},
    static const InternedText texts[] = {ZEL_MTRACEROUTE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(traceroute_names.no_trace, -1);
    make_number(traceroute_names.started, 0);
    make_number(traceroute_names.unknown_code, -2);
    if (traceroute_names.hop_pause == nullptr)
        traceroute_names.hop_pause = require(PyFloat_FromDouble(0.2)).release();
}

}  // namespace zel
