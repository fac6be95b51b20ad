#include "port_config/strings.hpp"

namespace zel {

PortConfigStrings PC;

void intern_port_config_strings() {
#define ZEL_SLOT(member, text) {&PC.member, text},
    static const InternedText texts[] = {ZEL_PORT_CONFIG_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(PC.cmdb_max_buff, 4095);
    make_number(PC.stp_priority, 32768);
    make_number(PC.no_update, -1);
    make_number(PC.zero, 0);
}

}  // namespace zel
