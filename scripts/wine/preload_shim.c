/*
 * preload_shim.c - 32-bit LD_PRELOAD shim for running 32-bit Wine under
 * qemu-user (qemu-i386, 7.2 as shipped by Debian 12) on a 64-bit kernel
 * without ia32 emulation.
 *
 * It is loaded into every 32-bit guest process through
 *     QEMU_SET_ENV=LD_PRELOAD=<dir>/$LIB/preload_shim.so
 * (see setup.sh) and fixes two places where qemu-user does not behave like
 * the real kernel in a way that Wine depends on:
 *
 *  1. mmap(MAP_FIXED_NOREPLACE) is only a hint under qemu 7.2: when the
 *     requested range is taken, qemu maps the memory somewhere else instead
 *     of failing with EEXIST.  Wine reserves its address-space layout at
 *     start-up by probing ranges with this flag and splits a range in two
 *     whenever the kernel places it elsewhere; with qemu's behaviour that
 *     recursion explodes into hundreds of thousands of mmap/munmap calls and
 *     start-up takes minutes instead of well under a second.
 *
 *  2. When qemu delivers SIGSEGV to the guest, sigcontext.trapno is -1.  Wine
 *     decides from trapno what kind of fault happened: 14 (page fault) means
 *     access violation / guard page / stack growth / write watch, 13 (general
 *     protection) means privileged instruction (IN, OUT, CLI, HLT ...).  With
 *     -1 everything turns into EXCEPTION_ILLEGAL_INSTRUCTION.  The shim wraps
 *     Wine's SIGSEGV handler and fills trapno in before Wine looks at it, so
 *     user-mode IN/OUT raise EXCEPTION_PRIV_INSTRUCTION (0xC0000096) as on
 *     Windows and can be emulated by a vectored exception handler.
 *
 * Build (no 32-bit libc headers or libraries needed, hence no #include and
 * -nostdlib; the few libc symbols used are resolved at load time from the
 * process's own libc):
 *     gcc -m32 -O2 -shared -nostdlib -fPIC preload_shim.c -o preload_shim.so
 *
 * It only makes sense for i386 guests; 64-bit processes started from Wine
 * get an empty stand-in via the $LIB token, so the dynamic loader does not
 * complain about a wrong ELF class.
 */

typedef unsigned int size_t;          /* i386 */

extern long syscall(long number, ...);
extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);

#define RTLD_NEXT            ((void *)-1)
#define MAP_FAILED           ((void *)-1)
#define MAP_FIXED            0x10
#define MAP_FIXED_NOREPLACE  0x100000
#define EINVAL               22
#define EEXIST               17
#define SYS_munmap           91       /* i386 syscall numbers */
#define SYS_mmap2            192
#define PAGE_MASK_4K         0xfffULL

/* ---------------------------------------------------------------------- */
/* 1. mmap with an honest MAP_FIXED_NOREPLACE                              */
/* ---------------------------------------------------------------------- */

static void *shim_mmap(void *addr, size_t len, int prot, int flags, int fd,
                       unsigned long long offset)
{
    long r;

    if (offset & PAGE_MASK_4K) {      /* mmap2 takes the offset in pages */
        *__errno_location() = EINVAL;
        return MAP_FAILED;
    }
    r = syscall(SYS_mmap2, addr, len, prot, flags, fd,
                (unsigned long)(offset >> 12));
    if ((void *)r == MAP_FAILED)
        return MAP_FAILED;            /* errno already set by syscall() */

    /* The kernel contract: with MAP_FIXED_NOREPLACE the mapping is either
       exactly at addr or not made at all.  qemu may have put it elsewhere:
       undo that and report the range as occupied. */
    if ((flags & MAP_FIXED_NOREPLACE) && !(flags & MAP_FIXED) &&
        (void *)r != addr) {
        syscall(SYS_munmap, (void *)r, len);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return (void *)r;
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, long offset)
{
    return shim_mmap(addr, len, prot, flags, fd,
                     (unsigned long long)(unsigned long)offset);
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd,
             long long offset)
{
    return shim_mmap(addr, len, prot, flags, fd, (unsigned long long)offset);
}

/* glibc-internal aliases, in case a caller binds to these names. */
void *__mmap(void *, size_t, int, int, int, long)
    __attribute__((alias("mmap")));
void *__mmap64(void *, size_t, int, int, int, long long)
    __attribute__((alias("mmap64")));

/* ---------------------------------------------------------------------- */
/* 2. SIGSEGV: put back the trap number qemu leaves at -1                  */
/* ---------------------------------------------------------------------- */

/* glibc's i386 struct sigaction (the user-space one, not the kernel's). */
struct shim_sigaction {
    void *handler;                    /* sa_handler / sa_sigaction */
    unsigned long mask[32];           /* sigset_t: 1024 bits */
    int flags;
    void *restorer;
};

/* Only the leading fields of siginfo_t are needed. */
struct shim_siginfo {
    int si_signo, si_errno, si_code;
    void *si_addr;
};

#define SIGSEGV        11
#define SA_SIGINFO     4
#define SI_KERNEL      0x80           /* si_code qemu uses for a #GP fault */

/* i386 ucontext_t: uc_flags (4), uc_link (4), uc_stack (12), then the
   general registers of mcontext_t. */
#define UC_GREGS_OFFSET 20
#define REG_TRAPNO      12
#define REG_ERR         13
#define TRAP_GP         13            /* general protection */
#define TRAP_PF         14            /* page fault */

typedef void (*siginfo_handler)(int, struct shim_siginfo *, void *);

static int (*real_sigaction)(int, const struct shim_sigaction *,
                             struct shim_sigaction *);
static siginfo_handler app_segv_handler;   /* Wine's own SIGSEGV handler */

static void segv_wrapper(int sig, struct shim_siginfo *info, void *ucontext)
{
    int *gregs = (int *)((char *)ucontext + UC_GREGS_OFFSET);

    if (gregs[REG_TRAPNO] == -1) {
        if (info->si_code == SI_KERNEL) {
            /* #GP: privileged instruction such as IN/OUT/CLI/HLT. */
            gregs[REG_TRAPNO] = TRAP_GP;
            gregs[REG_ERR] = 0;
        } else {
            /* Page fault.  qemu does fill in the error code (write bit),
               which Wine uses to tell read from write faults. */
            gregs[REG_TRAPNO] = TRAP_PF;
        }
    }
    app_segv_handler(sig, info, ucontext);
}

/* Interpose sigaction(): when a SA_SIGINFO handler is installed for SIGSEGV,
   remember it and install segv_wrapper in its place.  Queries report the
   application's handler, so the wrapper stays invisible. */
int sigaction(int sig, const struct shim_sigaction *act,
              struct shim_sigaction *old)
{
    int r;

    if (!real_sigaction)
        real_sigaction = dlsym(RTLD_NEXT, "sigaction");

    if (sig == SIGSEGV && act && (act->flags & SA_SIGINFO) &&
        act->handler != (void *)segv_wrapper &&
        (unsigned long)act->handler > 1 /* not SIG_DFL / SIG_IGN */) {
        struct shim_sigaction wrapped = *act;
        siginfo_handler previous = app_segv_handler;

        app_segv_handler = (siginfo_handler)act->handler;
        wrapped.handler = (void *)segv_wrapper;
        r = real_sigaction(sig, &wrapped, old);
        if (old && old->handler == (void *)segv_wrapper)
            old->handler = (void *)previous;
        return r;
    }

    r = real_sigaction(sig, act, old);
    if (sig == SIGSEGV && old && old->handler == (void *)segv_wrapper)
        old->handler = (void *)app_segv_handler;
    return r;
}

int __sigaction(int, const struct shim_sigaction *, struct shim_sigaction *)
    __attribute__((alias("sigaction")));
