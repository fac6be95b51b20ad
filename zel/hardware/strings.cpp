#include "hardware/strings.hpp"

namespace zel {

HardwareStrings H;

void intern_hardware_strings() {
#define ZEL_SLOT(member, text) {&H.member, text},
    static const InternedText texts[] = {ZEL_HARDWARE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    make_number(H.one, 1);
}

}  // namespace zel
