#include "mtraceroute/strings.hpp"

#include "core/ref.hpp"

namespace zel {

TracerouteStrings TR;

void intern_mtraceroute_strings() {
#define ZEL_SLOT(member, text) {&TR.member, text},
    static const InternedText texts[] = {ZEL_MTRACEROUTE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(TR.no_trace, -1);
    make_number(TR.started, 0);
    make_number(TR.unknown_code, -2);
    if (TR.hop_pause == nullptr)
        TR.hop_pause = require(PyFloat_FromDouble(0.2)).release();
}

}  // namespace zel
