#include "core/strings.hpp"

namespace zel {

CoreStrings K;

void intern_core_strings() {
#define ZEL_SLOT(member, text) {&K.member, text},
    static const InternedText texts[] = {ZEL_CORE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
}

}  // namespace zel
