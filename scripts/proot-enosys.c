/* Runs a command with the path-taking system calls that proot 5.1 does not
 * translate answering ENOSYS, so that the C library and qemu fall back to
 * older calls that proot does translate (statx to fstatat, faccessat2 to
 * faccessat, ...).
 *
 *   proot-enosys COMMAND [ARG]...
 *
 * The filter is inherited by every process the command starts. */
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

/* Numbered alike on every architecture; older headers may lack them. */
#ifndef __NR_openat2
#define __NR_openat2 437
#endif
#ifndef __NR_faccessat2
#define __NR_faccessat2 439
#endif
#ifndef __NR_fchmodat2
#define __NR_fchmodat2 452
#endif

#if defined(__x86_64__)
#define HOST_AUDIT_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define HOST_AUDIT_ARCH AUDIT_ARCH_AARCH64
#else
#error "unsupported build host"
#endif

#define ANSWER_ENOSYS(nr)                            \
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (nr), 0, 1), \
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA))

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s COMMAND [ARG]...\n", argv[0]);
        return 2;
    }
    struct sock_filter filter[] = {
        /* Calls of another architecture's numbering pass unchanged. */
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, HOST_AUDIT_ARCH, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        ANSWER_ENOSYS(__NR_statx),
        ANSWER_ENOSYS(__NR_faccessat2),
        ANSWER_ENOSYS(__NR_openat2),
        ANSWER_ENOSYS(__NR_execveat),
        ANSWER_ENOSYS(__NR_fchmodat2),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {
        .len = sizeof filter / sizeof filter[0],
        .filter = filter,
    };
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        fprintf(stderr, "proot-enosys: cannot install the filter: %s\n", strerror(errno));
        return 1;
    }
    execvp(argv[1], argv + 1);
    fprintf(stderr, "proot-enosys: cannot run %s: %s\n", argv[1], strerror(errno));
    return 127;
}
