#include "zel_util/strings.hpp"

#include "core/ref.hpp"

namespace zel {

ModuleNames module_names;

void intern_module_strings() {
#define ZEL_SLOT(member, text) {&module_names.member, text},
    static const InternedText texts[] = {ZEL_MODULE_STRINGS(ZEL_SLOT)};
#undef ZEL_SLOT
    intern_texts(texts);
    if (module_names.key == nullptr)
        module_names.key = require(PyBytes_FromString("sys_confroot")).release();
}

}  // namespace zel
