/* Reads through a cast, as code that trusts a record's alignment does. On
 * 32-bit ARM, -O2 makes each one a single load: `vldr` for the double, `ldrd`
 * for the 64-bit integer, both of which fault when the address is not a
 * multiple of 4. Built by scripts/test-arm for tests/test_misaligned_reads.py. */
#include <stdint.h>

double read_double(const void *address) {
    return *(const double *)address;
}

uint64_t read_uint64(const void *address) {
    return *(const uint64_t *)address;
}
