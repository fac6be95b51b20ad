#include "core/shortcuts/strings.hpp"

#include "core/ref.hpp"

namespace zel {

ShortcutNames shortcut_names;

void intern_shortcut_strings() {
#define ZEL_SLOT(member, text) {&shortcut_names.member, text},
    static const InternedText texts[] = {ZEL_SHORTCUT_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    ShortcutNames &n = shortcut_names;
    if (n.bytes_reads == nullptr)
        n.bytes_reads = require(PyTuple_Pack(3, n.isinstance, n.text_type, n.encode)).release();
    if (n.text_reads == nullptr)
        n.text_reads = require(PyTuple_Pack(3, n.isinstance, n.binary_type, n.decode)).release();
}

}  // namespace zel
