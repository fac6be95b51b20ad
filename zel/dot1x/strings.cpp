#include "dot1x/strings.hpp"

namespace zel {

Dot1xStrings D;

void intern_dot1x_strings() {
#define ZEL_SLOT(member, text) {&D.member, text},
    static const InternedText texts[] = {ZEL_DOT1X_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
}

}  // namespace zel
