#include "dot1x/strings.hpp"

namespace zel {

Dot1xNames dot1x_names;

void intern_dot1x_strings() {
#define ZEL_SLOT(member, text) {&dot1x_names.member, text},
    static const InternedText texts[] = {ZEL_DOT1X_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
}

}  // namespace zel
