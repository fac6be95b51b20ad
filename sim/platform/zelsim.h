/*
 * Control interface of the simulated platform library.
 *
 * Tests and the zel_sim Python package drive the simulated platform through
 * these calls: they install scripted answers per platform function, read the
 * log of calls the code under test made, and inspect the state that the
 * simulated configuration database and trace facility keep.
 *
 * No call lets a C++ exception out. A call that fails inside the simulator
 * (memory exhausted, data it refuses) gives its failure value and leaves a
 * message for zelsim_failure; a platform function that fails so answers as
 * the platform fails (-1, a null pointer, the end of a trace) and notes the
 * failure among the misuses (zelsim_errors).
 */
#ifndef ZEL_SIM_ZELSIM_H
#define ZEL_SIM_ZELSIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One scripted answer. The simulator copies the bytes, so the caller's
 * buffers need to live only for the duration of zelsim_script. */
typedef struct zelsim_step {
    int64_t result;     /* return value (pointer functions: 0 means NULL) */
    const void *record; /* bytes copied into the record the function fills */
    size_t record_len;
    double delay;    /* seconds slept before answering, lock not held */
    const void *aux; /* function-specific extra bytes */
    size_t aux_len;
} zelsim_step;

/* Name of platform function number index, NULL past the last one. The
 * numbers are the function codes used in the serialised call log. */
const char *zelsim_function_name(int index);

/* Empties every script, the call log and the error list, forgets the
 * configuration database and the committed hostname. Trace contexts still
 * open become stale: they no longer count as open and freeing them later is
 * not an error. */
void zelsim_reset(void);

/* Replaces the script of fn for key (key NULL: the unkeyed script). n == 0
 * removes the script. Returns 0, or -1 when fn names no platform function
 * or a step's delay is out of range (negative, not a number, or longer
 * than a step may wait). */
int zelsim_script(const char *fn, const void *key, size_t key_len, const zelsim_step *steps,
                  size_t n);

/* Takes the scripts of fn out (key NULL: every script of fn, keyed or not;
 * else the one keyed by key) and keeps them aside, with the position each
 * has reached; returns a positive number for zelsim_put_back_scripts, or -1
 * when fn names no platform function. A reset does not drop them. */
int zelsim_take_scripts(const char *fn, const void *key, size_t key_len);

/* Removes whatever fn now has where the scripts were taken from and puts
 * them back exactly as they were taken; where a later take of the same place
 * is still out, its set-aside scripts are replaced instead, so that takes
 * ended in any order leave fn as before the first. Returns 0, or -1 for a
 * number not (or no longer) set aside. */
int zelsim_put_back_scripts(int number);

/* Serialises every script (function, key, steps and the position reached)
 * into buf for zelsim_import_scripts in another process of the same build;
 * same size protocol as zelsim_calls. */
size_t zelsim_export_scripts(void *buf, size_t cap);

/* Replaces every script with those of data made by zelsim_export_scripts
 * of the same build. Returns 0, or -1 (nothing changed, zelsim_failure
 * names what is wrong) for data it cannot read: cut short, from another
 * build, or not an export at all. */
int zelsim_import_scripts(const void *data, size_t len);

/* Slowness: seconds every call of fn takes on top of its script's delay,
 * its answer unchanged. zelsim_slow sets the scenario's part (which
 * zelsim_reset sets back to 0); zelsim_add_slowness adds to the blocks'
 * part (a negative amount ends a block), which resets leave alone. Both
 * return 0, or -1 for an unknown fn (zelsim_failure names it).
 * zelsim_slowness is the sum, or -1. */
int zelsim_slow(const char *fn, double seconds);
int zelsim_add_slowness(const char *fn, double seconds);
double zelsim_slowness(const char *fn);

/* Serialises the call log (oldest first) into buf and returns its size.
 * Nothing is written when cap is smaller than the returned size. Format,
 * native byte order: u32 count, then per call u8 function code, u8 argc and
 * per argument a u8 tag: 0 null pointer, 1 int (i64), 2 bytes (u32 length
 * and the bytes). */
size_t zelsim_calls(void *buf, size_t cap);
void zelsim_clear_calls(void);

/* Number of calls ever logged since the last reset or clear; the log itself
 * keeps only the latest ones. */
uint64_t zelsim_total_calls(void);

/* 1 for the first caller in the process, 0 afterwards: the start-up hook
 * applies its scenario once per process, not again in each interpreter. */
int zelsim_claim_startup(void);

/* Gives the claim back (the start-up scenario could not be applied), so
 * that the next attempt claims it again. */
void zelsim_release_startup(void);

/* Trace contexts handed out and not yet freed. */
int zelsim_open_contexts(void);

/* Misuse detected by the simulator (double free and the like), one message
 * per line; same size protocol as zelsim_calls. */
size_t zelsim_errors(char *buf, size_t cap);

/* The hostname last committed through the configuration database; same size
 * protocol as zelsim_calls, no terminator written. */
size_t zelsim_hostname(char *buf, size_t cap);

/* Sets the committed hostname and the host-name field of object 11's update
 * record, as if the switch had booted with that configuration. */
void zelsim_set_hostname(const char *name, size_t len);

/* The message of the calling thread's last failed control call, taken, or
 * NULL when its last call did not fail; valid until the thread's next
 * failure. */
const char *zelsim_failure(void);

/* The next call of the function named (a platform function or a zelsim_*
 * call) fails inside the simulator as if memory had run out; NULL chooses
 * none. For tests of what a failure inside the simulator gives. */
void zelsim_fail_inside(const char *function);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_SIM_ZELSIM_H */
