/* A shared library the fault-injection tests put in LD_PRELOAD of the program
 * they run. It stands between the program and the C library for the calls
 * that put bytes on a disk or make them last (write, pwrite, fsync,
 * fdatasync, rename, ftruncate, fallocate) and makes one of them fail, the
 * way a full disk or a dying medium would.
 *
 * Only calls on files under PLINKA_FAULT_ROOT are counted, so that the
 * count of a run does not depend on the terminal, pipes or system files.
 *
 *   PLINKA_FAULT_ROOT    folder whose files are counted (a path ending in '/')
 *   PLINKA_FAULT_CALL    the family that fails: write, fsync, fdatasync,
 *                        rename, ftruncate or fallocate
 *   PLINKA_FAULT_AT      the call of that family that fails, from 1; 0 or
 *                        unset: nothing fails, the calls are only counted
 *   PLINKA_FAULT_ERRNO   EIO (the default) or ENOSPC
 *   PLINKA_FAULT_REPORT  a file that receives, when the program ends, a line
 *                        "FAMILY COUNT" per family, and at once "fired" when
 *                        the chosen call was made to fail
 *
 * Not built into the programs: only the tests load it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum family { F_WRITE, F_FSYNC, F_FDATASYNC, F_RENAME, F_FTRUNCATE, F_FALLOCATE, F_COUNT };

static const char* const family_names[F_COUNT] = {"write", "fsync", "fdatasync", "rename", "ftruncate", "fallocate"};

/* Set once, before main, by shim_setup; read by every wrapper. */
static char root[4096];
static size_t root_length;
static int chosen_family = -1;
static long chosen_at;
static int chosen_errno = EIO;
static char report_path[4096];
/* Counted by every wrapper, from any thread. */
static long counts[F_COUNT];

static ssize_t (*real_write)(int, const void*, size_t);
static ssize_t (*real_pwrite)(int, const void*, size_t, off_t);
static ssize_t (*real_pwrite64)(int, const void*, size_t, off64_t);
static ssize_t (*real_writev)(int, const struct iovec*, int);
static int (*real_fsync)(int);
static int (*real_fdatasync)(int);
static int (*real_rename)(const char*, const char*);
static int (*real_renameat)(int, const char*, int, const char*);
static int (*real_renameat2)(int, const char*, int, const char*, unsigned);
static int (*real_ftruncate)(int, off_t);
static int (*real_ftruncate64)(int, off64_t);
static int (*real_fallocate)(int, int, off_t, off_t);
static int (*real_fallocate64)(int, int, off64_t, off64_t);
static int (*real_posix_fallocate)(int, off_t, off_t);
static int (*real_posix_fallocate64)(int, off64_t, off64_t);

static void* next_symbol(const char* name) { return dlsym(RTLD_NEXT, name); }

static void load_symbols(void) {
  if (real_write)
    return;
  real_pwrite = next_symbol("pwrite");
  real_pwrite64 = next_symbol("pwrite64");
  real_writev = next_symbol("writev");
  real_fsync = next_symbol("fsync");
  real_fdatasync = next_symbol("fdatasync");
  real_rename = next_symbol("rename");
  real_renameat = next_symbol("renameat");
  real_renameat2 = next_symbol("renameat2");
  real_ftruncate = next_symbol("ftruncate");
  real_ftruncate64 = next_symbol("ftruncate64");
  real_fallocate = next_symbol("fallocate");
  real_fallocate64 = next_symbol("fallocate64");
  real_posix_fallocate = next_symbol("posix_fallocate");
  real_posix_fallocate64 = next_symbol("posix_fallocate64");
  real_write = next_symbol("write");
}

static void note(const char* text) {
  if (!report_path[0])
    return;
  const int fd = open(report_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0)
    return;
  (void)!real_write(fd, text, strlen(text));
  close(fd);
}

__attribute__((constructor)) static void shim_setup(void) {
  load_symbols();
  const char* r = getenv("PLINKA_FAULT_ROOT");
  if (r && strlen(r) < sizeof root) {
    strcpy(root, r);
    root_length = strlen(root);
  }
  const char* call = getenv("PLINKA_FAULT_CALL");
  for (int f = 0; call && f < F_COUNT; ++f)
    if (strcmp(call, family_names[f]) == 0)
      chosen_family = f;
  const char* at = getenv("PLINKA_FAULT_AT");
  chosen_at = at ? atol(at) : 0;
  const char* e = getenv("PLINKA_FAULT_ERRNO");
  if (e && strcmp(e, "ENOSPC") == 0)
    chosen_errno = ENOSPC;
  const char* report = getenv("PLINKA_FAULT_REPORT");
  if (report && strlen(report) < sizeof report_path)
    strcpy(report_path, report);
}

__attribute__((destructor)) static void shim_report(void) {
  char line[64];
  for (int f = 0; f < F_COUNT; ++f) {
    snprintf(line, sizeof line, "%s %ld\n", family_names[f], __atomic_load_n(&counts[f], __ATOMIC_SEQ_CST));
    note(line);
  }
}

static int path_counted(const char* path) { return root_length > 0 && path && strncmp(path, root, root_length) == 0; }

/* Relative paths are taken against the working folder. */
static int name_counted(int dirfd, const char* path) {
  if (!path)
    return 0;
  if (path[0] == '/')
    return path_counted(path);
  char base[4096], full[8192];
  if (dirfd == AT_FDCWD) {
    if (!getcwd(base, sizeof base))
      return 0;
  } else {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    const ssize_t n = readlink(link, base, sizeof base - 1);
    if (n <= 0)
      return 0;
    base[n] = 0;
  }
  snprintf(full, sizeof full, "%s/%s", base, path);
  return path_counted(full);
}

static int fd_counted(int fd) {
  if (root_length == 0 || fd < 0)
    return 0;
  char link[64], target[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, target, sizeof target - 1);
  if (n <= 0)
    return 0;
  target[n] = 0;
  /* A folder is named without its final '/'. */
  if ((size_t)n + 1 == root_length && strncmp(target, root, (size_t)n) == 0)
    return 1;
  return path_counted(target);
}

/* Counts the call; nonzero when this one is to fail. */
static int fails(enum family f, int counted) {
  if (!counted)
    return 0;
  const long n = __atomic_add_fetch(&counts[f], 1, __ATOMIC_SEQ_CST);
  if ((int)f != chosen_family || chosen_at <= 0 || n != chosen_at)
    return 0;
  char line[64];
  snprintf(line, sizeof line, "fired %s %ld\n", family_names[f], n);
  note(line);
  return 1;
}

ssize_t write(int fd, const void* buf, size_t n) {
  load_symbols();
  if (fails(F_WRITE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_write(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
  load_symbols();
  if (fails(F_WRITE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_pwrite(fd, buf, n, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t offset) {
  load_symbols();
  if (fails(F_WRITE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_pwrite64(fd, buf, n, offset);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
  load_symbols();
  if (fails(F_WRITE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_writev(fd, iov, count);
}

int fsync(int fd) {
  load_symbols();
  if (fails(F_FSYNC, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_fsync(fd);
}

int fdatasync(int fd) {
  load_symbols();
  if (fails(F_FDATASYNC, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_fdatasync(fd);
}

int rename(const char* from, const char* to) {
  load_symbols();
  if (fails(F_RENAME, name_counted(AT_FDCWD, from))) {
    errno = chosen_errno;
    return -1;
  }
  return real_rename(from, to);
}

int renameat(int fromdir, const char* from, int todir, const char* to) {
  load_symbols();
  if (fails(F_RENAME, name_counted(fromdir, from))) {
    errno = chosen_errno;
    return -1;
  }
  return real_renameat(fromdir, from, todir, to);
}

int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned flags) {
  load_symbols();
  if (fails(F_RENAME, name_counted(fromdir, from))) {
    errno = chosen_errno;
    return -1;
  }
  return real_renameat2(fromdir, from, todir, to, flags);
}

int ftruncate(int fd, off_t length) {
  load_symbols();
  if (fails(F_FTRUNCATE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_ftruncate(fd, length);
}

int ftruncate64(int fd, off64_t length) {
  load_symbols();
  if (fails(F_FTRUNCATE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_ftruncate64(fd, length);
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
  load_symbols();
  if (fails(F_FALLOCATE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_fallocate(fd, mode, offset, length);
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  load_symbols();
  if (fails(F_FALLOCATE, fd_counted(fd))) {
    errno = chosen_errno;
    return -1;
  }
  return real_fallocate64(fd, mode, offset, length);
}

/* These two give the error as their result and leave errno alone. */
int posix_fallocate(int fd, off_t offset, off_t length) {
  load_symbols();
  if (fails(F_FALLOCATE, fd_counted(fd)))
    return chosen_errno;
  return real_posix_fallocate(fd, offset, length);
}

int posix_fallocate64(int fd, off64_t offset, off64_t length) {
  load_symbols();
  if (fails(F_FALLOCATE, fd_counted(fd)))
    return chosen_errno;
  return real_posix_fallocate64(fd, offset, length);
}
