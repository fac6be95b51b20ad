#include "system/strings.hpp"

namespace zel {

SystemNames system_names;

void intern_system_strings() {
#define ZEL_SLOT(member, text) {&system_names.member, text},
    static const InternedText texts[] = {ZEL_SYSTEM_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(system_names.cmdb_max_buff, 4095);
    make_number(system_names.stp_priority, 32768);
    make_number(system_names.no_update, -1);
}

}  // namespace zel
