// The named-tuple classes the direct path knows.
#pragma once

namespace zel {

// Forgets the classes an earlier execution of the module made.
void forget_made_tuples();

}  // namespace zel
