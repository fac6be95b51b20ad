#include "zel_util/strings.hpp"

#include "core/ref.hpp"

namespace zel {

ModuleStrings M;

void intern_module_strings() {
#define ZEL_SLOT(member, text) {&M.member, text},
    static const InternedText texts[] = {ZEL_MODULE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    if (M.key == nullptr)
        M.key = require(PyBytes_FromString("sys_confroot")).release();
}

}  // namespace zel
