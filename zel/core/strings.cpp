#include "core/strings.hpp"

namespace zel {

CoreNames core_names;

void intern_core_strings() {
#define ZEL_SLOT(member, text) {&core_names.member, text},
    static const InternedText texts[] = {ZEL_CORE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
}

}  // namespace zel
