/* A test-only LD_PRELOAD library that stops or fails a program at a chosen file-system call,
 * so that tests can check what a crash or a failing disc at that point leaves behind.
 *
 * It counts the calls of the chosen classes, in program order:
 *   write   write, pwrite, writev, pwritev, ftruncate on regular files
 *   sync    fsync, fdatasync
 *   rename  rename, renameat, renameat2
 *   copy    copy_file_range
 *   create  open and openat with O_CREAT, creat, mkdir, mkdirat
 *   remove  unlink, unlinkat, rmdir, remove
 *   read    read, pread on regular files (counted only when named)
 *
 * Environment:
 *   VELMORA_SHIM_CALLS   classes to count, comma-separated (default: all but read)
 *   VELMORA_SHIM_AT      the call to act on, counting from 1 (default: none)
 *   VELMORA_SHIM_ACTION  kill (SIGKILL before the call), torn (a write writes half its bytes,
 *                        then SIGKILL), fail (that call fails), fail-from (that call and every
 *                        later counted one fail), eof (a read or copy at that call reports
 *                        the end of the file); default kill
 *   VELMORA_SHIM_ERRNO   the error of failed calls: a number or ENOSPC, EIO, ENOSYS, EXDEV,
 *                        EINTR, EDQUOT, EROFS (default EIO)
 *   VELMORA_SHIM_TRACE   a file that gets one line per counted call, written before the call
 *                        is acted on: "<n> <call> <target> <bytes>"
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum { C_WRITE = 1, C_SYNC = 2, C_RENAME = 4, C_COPY = 8, C_CREATE = 16, C_REMOVE = 32, C_READ = 64, C_ALL = 63 };
enum { A_KILL, A_TORN, A_FAIL, A_FAIL_FROM, A_EOF };
enum { ACT_NONE, ACT_TORN, ACT_FAIL, ACT_EOF };

static pthread_once_t once = PTHREAD_ONCE_INIT;
static int classes = C_ALL;
static long long act_at = 0;
static int action = A_KILL;
static int fail_errno = EIO;
static int trace_fd = -1;
static atomic_llong counter;

static ssize_t (*real_write)(int, const void*, size_t);

static void* next(const char* name) { return dlsym(RTLD_NEXT, name); }

static int parse_errno(const char* s) {
    static const struct { const char* name; int value; } names[] = {
        {"ENOSPC", ENOSPC}, {"EIO", EIO},     {"ENOSYS", ENOSYS}, {"EXDEV", EXDEV},
        {"EINTR", EINTR},   {"EDQUOT", EDQUOT}, {"EROFS", EROFS},
    };
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (strcmp(s, names[i].name) == 0) return names[i].value;
    int v = atoi(s);
    return v > 0 ? v : EIO;
}

static void init(void) {
    real_write = (ssize_t(*)(int, const void*, size_t))next("write");
    const char* s = getenv("VELMORA_SHIM_CALLS");
    if (s && *s) {
        classes = 0;
        if (strstr(s, "write")) classes |= C_WRITE;
        if (strstr(s, "sync")) classes |= C_SYNC;
        if (strstr(s, "rename")) classes |= C_RENAME;
        if (strstr(s, "copy")) classes |= C_COPY;
        if (strstr(s, "create")) classes |= C_CREATE;
        if (strstr(s, "remove")) classes |= C_REMOVE;
        if (strstr(s, "read")) classes |= C_READ;
    }
    if ((s = getenv("VELMORA_SHIM_AT"))) act_at = atoll(s);
    if ((s = getenv("VELMORA_SHIM_ACTION"))) {
        if (strcmp(s, "torn") == 0) action = A_TORN;
        else if (strcmp(s, "fail") == 0) action = A_FAIL;
        else if (strcmp(s, "fail-from") == 0) action = A_FAIL_FROM;
        else if (strcmp(s, "eof") == 0) action = A_EOF;
    }
    if ((s = getenv("VELMORA_SHIM_ERRNO"))) fail_errno = parse_errno(s);
    if ((s = getenv("VELMORA_SHIM_TRACE")) && *s) {
        int (*real_open)(const char*, int, ...) = (int (*)(const char*, int, ...))next("open");
        trace_fd = real_open(s, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
}

static void fd_target(int fd, char* out, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = '\0';
}

static void path_target(int dirfd, const char* path, char* out, size_t size) {
    if (path[0] == '/' || dirfd == AT_FDCWD) {
        snprintf(out, size, "%s", path);
    } else {
        fd_target(dirfd, out, size);
        size_t used = strlen(out);
        if (used + 1 < size) {
            out[used++] = '/';
            out[used] = '\0';
            strncat(out + used, path, size - used - 1);
        }
    }
}

/* Counts one call and decides what to do with it; SIGKILL happens here. */
static int counted(int cls, const char* name, const char* target, unsigned long long bytes, int torn_possible) {
    pthread_once(&once, init);
    if (!(classes & cls)) return ACT_NONE;
    long long n = atomic_fetch_add(&counter, 1) + 1;
    if (trace_fd >= 0) {
        char line[2300];
        int len = snprintf(line, sizeof line, "%lld %s %s %llu\n", n, name, target, bytes);
        if (len > (int)sizeof line - 1) len = (int)sizeof line - 1;
        if (len > 0) real_write(trace_fd, line, (size_t)len);
    }
    if (act_at <= 0 || n < act_at) return ACT_NONE;
    if (action == A_FAIL_FROM || (action == A_FAIL && n == act_at)) return ACT_FAIL;
    if (n != act_at) return ACT_NONE;
    if (action == A_EOF) return ACT_EOF;
    if (action == A_TORN && torn_possible && bytes > 1) return ACT_TORN;
    if (action == A_KILL || action == A_TORN) kill(getpid(), SIGKILL);
    return ACT_NONE;
}

static int fail(void) {
    errno = fail_errno;
    return -1;
}

static int regular(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

static int fd_call(int cls, const char* name, int fd, unsigned long long bytes, int torn_possible) {
    pthread_once(&once, init);
    if (!(classes & cls)) return ACT_NONE;
    char target[1024];
    fd_target(fd, target, sizeof target);
    return counted(cls, name, target, bytes, torn_possible);
}

ssize_t write(int fd, const void* buf, size_t n) {
    pthread_once(&once, init);
    if (regular(fd)) {
        int act = fd_call(C_WRITE, "write", fd, n, 1);
        if (act == ACT_FAIL) return fail();
        if (act == ACT_TORN) {
            real_write(fd, buf, n / 2);
            kill(getpid(), SIGKILL);
        }
    }
    return real_write(fd, buf, n);
}

static ssize_t shim_pwrite(const char* name, int fd, const void* buf, size_t n, off_t off) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t, off_t))next("pwrite");
    if (regular(fd)) {
        int act = fd_call(C_WRITE, name, fd, n, 1);
        if (act == ACT_FAIL) return fail();
        if (act == ACT_TORN) {
            real(fd, buf, n / 2, off);
            kill(getpid(), SIGKILL);
        }
    }
    return real(fd, buf, n, off);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) { return shim_pwrite("pwrite", fd, buf, n, off); }
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t off) { return shim_pwrite("pwrite", fd, buf, n, off); }

static unsigned long long iov_bytes(const struct iovec* iov, int count) {
    unsigned long long n = 0;
    for (int i = 0; i < count; ++i) n += iov[i].iov_len;
    return n;
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    static ssize_t (*real)(int, const struct iovec*, int);
    if (!real) real = (ssize_t(*)(int, const struct iovec*, int))next("writev");
    if (regular(fd) && fd_call(C_WRITE, "writev", fd, iov_bytes(iov, count), 0) == ACT_FAIL) return fail();
    return real(fd, iov, count);
}

static ssize_t shim_pwritev(int fd, const struct iovec* iov, int count, off_t off) {
    static ssize_t (*real)(int, const struct iovec*, int, off_t);
    if (!real) real = (ssize_t(*)(int, const struct iovec*, int, off_t))next("pwritev");
    if (regular(fd) && fd_call(C_WRITE, "pwritev", fd, iov_bytes(iov, count), 0) == ACT_FAIL) return fail();
    return real(fd, iov, count, off);
}

ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t off) { return shim_pwritev(fd, iov, count, off); }
ssize_t pwritev64(int fd, const struct iovec* iov, int count, off_t off) { return shim_pwritev(fd, iov, count, off); }

static int shim_ftruncate(int fd, off_t len) {
    static int (*real)(int, off_t);
    if (!real) real = (int (*)(int, off_t))next("ftruncate");
    if (regular(fd) && fd_call(C_WRITE, "ftruncate", fd, (unsigned long long)len, 0) == ACT_FAIL) return fail();
    return real(fd, len);
}

int ftruncate(int fd, off_t len) { return shim_ftruncate(fd, len); }
int ftruncate64(int fd, off_t len) { return shim_ftruncate(fd, len); }

int fsync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))next("fsync");
    if (fd_call(C_SYNC, "fsync", fd, 0, 0) == ACT_FAIL) return fail();
    return real(fd);
}

int fdatasync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))next("fdatasync");
    if (fd_call(C_SYNC, "fdatasync", fd, 0, 0) == ACT_FAIL) return fail();
    return real(fd);
}

ssize_t copy_file_range(int in, off_t* in_off, int out, off_t* out_off, size_t len, unsigned flags) {
    static ssize_t (*real)(int, off_t*, int, off_t*, size_t, unsigned);
    if (!real) real = (ssize_t(*)(int, off_t*, int, off_t*, size_t, unsigned))next("copy_file_range");
    int act = fd_call(C_COPY, "copy_file_range", out, len, 0);
    if (act == ACT_FAIL) return fail();
    if (act == ACT_EOF) return 0;
    return real(in, in_off, out, out_off, len, flags);
}

ssize_t read(int fd, void* buf, size_t n) {
    static ssize_t (*real)(int, void*, size_t);
    if (!real) real = (ssize_t(*)(int, void*, size_t))next("read");
    pthread_once(&once, init);
    if ((classes & C_READ) && regular(fd)) {
        int act = fd_call(C_READ, "read", fd, n, 0);
        if (act == ACT_FAIL) return fail();
        if (act == ACT_EOF) return 0;
    }
    return real(fd, buf, n);
}

static ssize_t shim_pread(int fd, void* buf, size_t n, off_t off) {
    static ssize_t (*real)(int, void*, size_t, off_t);
    if (!real) real = (ssize_t(*)(int, void*, size_t, off_t))next("pread");
    pthread_once(&once, init);
    if ((classes & C_READ) && regular(fd)) {
        int act = fd_call(C_READ, "pread", fd, n, 0);
        if (act == ACT_FAIL) return fail();
        if (act == ACT_EOF) return 0;
    }
    return real(fd, buf, n, off);
}

ssize_t pread(int fd, void* buf, size_t n, off_t off) { return shim_pread(fd, buf, n, off); }
ssize_t pread64(int fd, void* buf, size_t n, off_t off) { return shim_pread(fd, buf, n, off); }

static int rename_call(const char* name, int olddir, const char* from, int newdir, const char* to) {
    pthread_once(&once, init);
    if (!(classes & C_RENAME)) return ACT_NONE;
    char a[1024], b[1024], target[2100];
    path_target(olddir, from, a, sizeof a);
    path_target(newdir, to, b, sizeof b);
    snprintf(target, sizeof target, "%s -> %s", a, b);
    return counted(C_RENAME, name, target, 0, 0);
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (!real) real = (int (*)(const char*, const char*))next("rename");
    if (rename_call("rename", AT_FDCWD, from, AT_FDCWD, to) == ACT_FAIL) return fail();
    return real(from, to);
}

int renameat(int olddir, const char* from, int newdir, const char* to) {
    static int (*real)(int, const char*, int, const char*);
    if (!real) real = (int (*)(int, const char*, int, const char*))next("renameat");
    if (rename_call("renameat", olddir, from, newdir, to) == ACT_FAIL) return fail();
    return real(olddir, from, newdir, to);
}

int renameat2(int olddir, const char* from, int newdir, const char* to, unsigned flags) {
    static int (*real)(int, const char*, int, const char*, unsigned);
    if (!real) real = (int (*)(int, const char*, int, const char*, unsigned))next("renameat2");
    if (rename_call("renameat2", olddir, from, newdir, to) == ACT_FAIL) return fail();
    return real(olddir, from, newdir, to, flags);
}

static int path_call(int cls, const char* name, int dirfd, const char* path) {
    pthread_once(&once, init);
    if (!(classes & cls)) return ACT_NONE;
    char target[1024];
    path_target(dirfd, path, target, sizeof target);
    return counted(cls, name, target, 0, 0);
}

static int shim_openat(const char* name, const char* real_name, int dirfd, const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) && path_call(C_CREATE, name, dirfd, path) == ACT_FAIL) return fail();
    if (dirfd == AT_FDCWD && strcmp(real_name, "open") == 0) {
        static int (*real_open)(const char*, int, ...);
        if (!real_open) real_open = (int (*)(const char*, int, ...))next("open");
        return real_open(path, flags, mode);
    }
    static int (*real_openat)(int, const char*, int, ...);
    if (!real_openat) real_openat = (int (*)(int, const char*, int, ...))next("openat");
    return real_openat(dirfd, path, flags, mode);
}

static mode_t mode_arg(int flags, va_list ap) {
    return ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) ? (mode_t)va_arg(ap, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return shim_openat("open", "open", AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_arg(flags, ap);
    va_end(ap);
    return shim_openat("openat", "openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));

int creat(const char* path, mode_t mode) {
    return shim_openat("creat", "open", AT_FDCWD, path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}

int creat64(const char* path, mode_t mode) { return creat(path, mode); }

int mkdir(const char* path, mode_t mode) {
    static int (*real)(const char*, mode_t);
    if (!real) real = (int (*)(const char*, mode_t))next("mkdir");
    if (path_call(C_CREATE, "mkdir", AT_FDCWD, path) == ACT_FAIL) return fail();
    return real(path, mode);
}

int mkdirat(int dirfd, const char* path, mode_t mode) {
    static int (*real)(int, const char*, mode_t);
    if (!real) real = (int (*)(int, const char*, mode_t))next("mkdirat");
    if (path_call(C_CREATE, "mkdirat", dirfd, path) == ACT_FAIL) return fail();
    return real(dirfd, path, mode);
}

int unlink(const char* path) {
    static int (*real)(const char*);
    if (!real) real = (int (*)(const char*))next("unlink");
    if (path_call(C_REMOVE, "unlink", AT_FDCWD, path) == ACT_FAIL) return fail();
    return real(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
    static int (*real)(int, const char*, int);
    if (!real) real = (int (*)(int, const char*, int))next("unlinkat");
    if (path_call(C_REMOVE, "unlinkat", dirfd, path) == ACT_FAIL) return fail();
    return real(dirfd, path, flags);
}

int rmdir(const char* path) {
    static int (*real)(const char*);
    if (!real) real = (int (*)(const char*))next("rmdir");
    if (path_call(C_REMOVE, "rmdir", AT_FDCWD, path) == ACT_FAIL) return fail();
    return real(path);
}

int remove(const char* path) {
    static int (*real)(const char*);
    if (!real) real = (int (*)(const char*))next("remove");
    if (path_call(C_REMOVE, "remove", AT_FDCWD, path) == ACT_FAIL) return fail();
    return real(path);
}
