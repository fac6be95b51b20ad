#include "hardware/strings.hpp"

namespace zel {

HardwareNames hardware_names;

void intern_hardware_strings() {
#define ZEL_SLOT(member, text) {&hardware_names.member, text},
    static const InternedText texts[] = {ZEL_HARDWARE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(hardware_names.one, 1);
}

}  // namespace zel
