// The library is built with hidden visibility; the platform interface is
// the one part the process must see, so its declarations are included with
// default visibility here and every definition inherits it.
#ifndef ZEL_SIM_EXPORTS_H
#define ZEL_SIM_EXPORTS_H

#pragma GCC visibility push(default)
#include "platform/platform.h"
#include "zelsim.h"
#pragma GCC visibility pop

#endif  // ZEL_SIM_EXPORTS_H
