#include "ports/strings.hpp"

namespace zel {

PortNames port_names;

void intern_port_strings() {
#define ZEL_SLOT(member, text) {&port_names.member, text},
    static const InternedText texts[] = {ZEL_PORT_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(port_names.zero, 0);
}

}  // namespace zel
