// The room left on the calling thread's stack.
//
// The interpreter's recursion count alone does not keep an operation that
// reaches itself from overflowing a small thread stack (web servers start
// workers with a few hundred KiB): an operation's frames are larger than the
// interpreter's own, so the count allows more of them than fit. Each call
// therefore also checks the stack itself, from the thread's own bounds.
#pragma once

namespace zel {

// Raises RecursionError, as the interpreter's count does, when less than a
// safe margin is left below the caller's frame on this thread's stack.
// Threads whose bounds cannot be found are left to the count alone.
void require_stack_room();

}  // namespace zel
