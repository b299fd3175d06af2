/* A test-only interposer, loaded into the command with LD_PRELOAD, that fails one counted C
 * library call the way a sick disk or a signal does. The environment says how:
 *   YDR_FAULT_CALLS  families counted, comma-separated: open, read, write, mkdir, rename, sync,
 *                    close, truncate, unlink, alloc; "io" is every one but alloc
 *   YDR_FAULT_AT     the counted call that fails, from 1; 0 only counts
 *   YDR_FAULT_ERROR  EIO, EINTR or ENOMEM; SHORT (a transfer moves half its bytes); KILL
 *   YDR_FAULT_LOG    gets "fault CALL SIDE" when it strikes, "calls N" when the process exits
 * Only calls made while main runs are counted, in every thread. stdio writes through aliases
 * no interposer sees, so its calls count as writes (fclose as close), failing with the
 * stream's error flag set. */
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

enum Family { kOpen, kRead, kWrite, kMkdir, kRename, kSync, kClose, kTruncate, kUnlink, kAlloc };
static const char *const kFamilyNames[] = {"open", "read",  "write",    "mkdir",  "rename",
                                           "sync", "close", "truncate", "unlink", "alloc"};
enum Action { kFail, kShort, kKill };

static int counted_families;
static long fail_at;
static int fail_error = EIO;
static enum Action action = kFail;
static const char *log_path = "";
static atomic_int armed;
static atomic_long calls;

static const char *Setting(const char *name) {
  const char *value = getenv(name);
  return value != NULL ? value : "";
}

static void ReadSettings(void) {
  char list[256];
  snprintf(list, sizeof list, "%s", Setting("YDR_FAULT_CALLS"));
  char *rest = list;
  for (const char *name; (name = strtok_r(rest, ",", &rest)) != NULL;) {
    if (strcmp(name, "io") == 0) counted_families |= (1 << kAlloc) - 1;
    for (int i = kOpen; i <= kAlloc; ++i) {
      if (strcmp(name, kFamilyNames[i]) == 0) counted_families |= 1 << i;
    }
  }
  fail_at = strtol(Setting("YDR_FAULT_AT"), NULL, 10);
  const char *error = Setting("YDR_FAULT_ERROR");
  if (strcmp(error, "EINTR") == 0) fail_error = EINTR;
  if (strcmp(error, "ENOMEM") == 0) fail_error = ENOMEM;
  if (strcmp(error, "SHORT") == 0) action = kShort;
  if (strcmp(error, "KILL") == 0) action = kKill;
  log_path = Setting("YDR_FAULT_LOG");
}

/* Raw system calls: never counted, never failed, no allocation; a killed process leaves it. */
static void Log(const char *line) {
  if (log_path[0] == '\0') return;
  const long fd = syscall(SYS_openat, AT_FDCWD, log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  syscall(SYS_write, (int)fd, line, strlen(line));
  syscall(SYS_close, (int)fd);
}

__attribute__((destructor)) static void ReportCalls(void) {
  char line[64];
  snprintf(line, sizeof line, "calls %ld\n", atomic_load(&calls));
  Log(line);
}

/* The next definition of `name`; dlsym's object pointer becomes a function pointer by memcpy. */
typedef void (*AnyFunction)(void);
static AnyFunction Next(const char *name) {
  void *found = dlsym(RTLD_NEXT, name);
  AnyFunction function;
  memcpy(&function, &found, sizeof function);
  return function;
}
#define NEXT(type, name) ((type)Next(name))

/* Counting is armed for main only: exit handlers run newest first, so Disarm runs before the
 * runtime's own (a coverage dump, say). */
typedef int (*MainFunction)(int, char **, char **);
static MainFunction real_main;

static void Disarm(void) { atomic_store(&armed, 0); }

static int ArmedMain(int argc, char **argv, char **envp) {
  ReadSettings();
  atexit(Disarm);
  atomic_store(&armed, 1);
  return real_main(argc, argv, envp);
}

typedef int (*StartMain)(MainFunction, int, char **, void (*)(void), void (*)(void), void (*)(void), void *);
int __libc_start_main(MainFunction main, int argc, char **argv, void (*init)(void), void (*fini)(void),
                      void (*rtld_fini)(void), void *stack_end) {
  real_main = main;
  return NEXT(StartMain, "__libc_start_main")(ArmedMain, argc, argv, init, fini, rtld_fini, stack_end);
}

static int Writable(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

/* Counts a call; true when it is the one to fail (logged, errno set), or the process is killed
 * here. `writes`: the call changes what is on disk, so its failure must be reported. A SHORT
 * transfer of `*size` bytes moves half instead; a SHORT call of another kind is no fault. */
static int Fails(int family, const char *call, int fd, int writes, size_t *size) {
  if (!atomic_load(&armed) || (counted_families & (1 << family)) == 0) return 0;
  if (fd == 0 || fd == 2) return 0; /* standard output counts like a file */
  if (atomic_fetch_add(&calls, 1) + 1 != fail_at) return 0;
  char line[128];
  snprintf(line, sizeof line, "fault %s %s\n", call, writes ? "write-side" : "read-side");
  Log(line);
  if (action == kKill) syscall(SYS_kill, getpid(), SIGKILL);
  if (action == kShort && size != NULL && *size > 1) *size /= 2;
  if (action == kShort) return 0;
  errno = fail_error;
  return 1;
}

/* Each call below is failed, or handed on to its next definition, in both spellings where
 * 64-bit file offsets rename it. */
static int OpenAt(const char *call, int dirfd, const char *path, int flags, va_list args) {
  const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
  if (Fails(kOpen, call, -1, (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0, NULL)) return -1;
  return NEXT(int (*)(int, const char *, int, ...), "openat64")(dirfd, path, flags, mode);
}
int open(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = OpenAt("open", AT_FDCWD, path, flags, args);
  va_end(args);
  return fd;
}
int open64(const char *path, int flags, ...) __attribute__((alias("open")));
int openat(int dirfd, const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = OpenAt("openat", dirfd, path, flags, args);
  va_end(args);
  return fd;
}
int openat64(int dirfd, const char *path, int flags, ...) __attribute__((alias("openat")));
int mkstemp64(char *pattern) {
  return Fails(kOpen, "mkstemp", -1, 1, NULL) ? -1 : NEXT(int (*)(char *, int), "mkostemp64")(pattern, 0);
}

ssize_t read(int fd, void *buffer, size_t size) {
  if (Fails(kRead, "read", fd, 0, &size)) return -1;
  return NEXT(ssize_t(*)(int, void *, size_t), "read")(fd, buffer, size);
}
ssize_t pread64(int fd, void *buffer, size_t size, off64_t offset) {
  if (Fails(kRead, "pread", fd, 0, &size)) return -1;
  return NEXT(ssize_t(*)(int, void *, size_t, off64_t), "pread64")(fd, buffer, size, offset);
}
ssize_t write(int fd, const void *buffer, size_t size) {
  if (Fails(kWrite, "write", fd, 1, &size)) return -1;
  return NEXT(ssize_t(*)(int, const void *, size_t), "write")(fd, buffer, size);
}

int mkdir(const char *path, mode_t mode) {
  return Fails(kMkdir, "mkdir", -1, 1, NULL) ? -1 : NEXT(int (*)(const char *, mode_t), "mkdir")(path, mode);
}
int mkdirat(int dirfd, const char *path, mode_t mode) {
  if (Fails(kMkdir, "mkdirat", -1, 1, NULL)) return -1;
  return NEXT(int (*)(int, const char *, mode_t), "mkdirat")(dirfd, path, mode);
}

int rename(const char *from, const char *to) {
  return Fails(kRename, "rename", -1, 1, NULL) ? -1 : NEXT(int (*)(const char *, const char *), "rename")(from, to);
}
int renameat(int from_dir, const char *from, int to_dir, const char *to) {
  if (Fails(kRename, "renameat", -1, 1, NULL)) return -1;
  return NEXT(int (*)(int, const char *, int, const char *), "renameat")(from_dir, from, to_dir, to);
}
int renameat2(int from_dir, const char *from, int to_dir, const char *to, unsigned int flags) {
  typedef int (*RenameAt2)(int, const char *, int, const char *, unsigned int);
  return Fails(kRename, "renameat2", -1, 1, NULL) ? -1
                                                  : NEXT(RenameAt2, "renameat2")(from_dir, from, to_dir, to, flags);
}

int fsync(int fd) { return Fails(kSync, "fsync", fd, 1, NULL) ? -1 : NEXT(int (*)(int), "fsync")(fd); }

/* A failed close still closes, as the system's does. */
int close(int fd) {
  const int fail = Fails(kClose, "close", fd, Writable(fd), NULL);
  const int result = NEXT(int (*)(int), "close")(fd);
  if (!fail) return result;
  errno = fail_error;
  return -1;
}

int ftruncate64(int fd, off64_t length) {
  return Fails(kTruncate, "ftruncate", fd, 1, NULL) ? -1 : NEXT(int (*)(int, off64_t), "ftruncate64")(fd, length);
}

int unlinkat(int dirfd, const char *path, int flags) {
  if (Fails(kUnlink, "unlinkat", -1, 1, NULL)) return -1;
  return NEXT(int (*)(int, const char *, int), "unlinkat")(dirfd, path, flags);
}
int remove(const char *path) {
  return Fails(kUnlink, "remove", -1, 1, NULL) ? -1 : NEXT(int (*)(const char *), "remove")(path);
}

static int StreamFd(FILE *stream) { return stream != NULL ? fileno(stream) : -1; }

FILE *fopen(const char *path, const char *mode) {
  if (Fails(kOpen, "fopen", -1, strpbrk(mode, "wa+") != NULL, NULL)) return NULL;
  return NEXT(FILE * (*)(const char *, const char *), "fopen64")(path, mode);
}
FILE *fopen64(const char *path, const char *mode) __attribute__((alias("fopen")));

static int StreamFails(int family, const char *call, FILE *stream, int writes) {
  if (!Fails(family, call, StreamFd(stream), writes, NULL)) return 0;
  stream->_flags |= _IO_ERR_SEEN;
  return 1;
}
size_t fread(void *buffer, size_t size, size_t count, FILE *stream) {
  if (size != 0 && count != 0 && StreamFails(kRead, "fread", stream, 0)) return 0;
  return NEXT(size_t(*)(void *, size_t, size_t, FILE *), "fread")(buffer, size, count, stream);
}
size_t fwrite(const void *buffer, size_t size, size_t count, FILE *stream) {
  if (size != 0 && count != 0 && StreamFails(kWrite, "fwrite", stream, 1)) return 0;
  return NEXT(size_t(*)(const void *, size_t, size_t, FILE *), "fwrite")(buffer, size, count, stream);
}
int fputc(int c, FILE *stream) {
  return StreamFails(kWrite, "fputc", stream, 1) ? EOF : NEXT(int (*)(int, FILE *), "fputc")(c, stream);
}
int fflush(FILE *stream) {
  if (stream != NULL && StreamFails(kWrite, "fflush", stream, 1)) return EOF;
  return NEXT(int (*)(FILE *), "fflush")(stream);
}
int fseeko64(FILE *stream, off64_t offset, int whence) {
  if (Writable(StreamFd(stream)) && StreamFails(kWrite, "fseeko", stream, 1)) return -1;
  return NEXT(int (*)(FILE *, off64_t, int), "fseeko64")(stream, offset, whence);
}
int fclose(FILE *stream) {
  const int fd = StreamFd(stream);
  const int fail = Fails(kClose, "fclose", fd, Writable(fd), NULL);
  const int result = NEXT(int (*)(FILE *), "fclose")(stream);
  if (!fail) return result;
  errno = fail_error;
  return EOF;
}

/* The allocation build (YDR_FAULT_ALLOCATION) replaces the allocator, which a sanitizer's
 * runtime owns otherwise; glibc's own (__libc_malloc) needs no lookup while it is replaced.
 * libcrypto's allocations are spared: it goes on with a lock it could not make, so failing
 * them would test libcrypto. dladdr takes the loader's recursive lock and allocates nothing. */
#if defined(YDR_FAULT_ALLOCATION)
extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);

static int AllocationFails(const char *call, const void *caller) {
  Dl_info info;
  if (!atomic_load(&armed)) return 0;
  if (dladdr(caller, &info) != 0 && info.dli_fname != NULL && strstr(info.dli_fname, "libcrypto") != NULL) return 0;
  return Fails(kAlloc, call, -1, 0, NULL);
}

void *malloc(size_t size) {
  return AllocationFails("malloc", __builtin_return_address(0)) ? NULL : __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
  return AllocationFails("calloc", __builtin_return_address(0)) ? NULL : __libc_calloc(count, size);
}
#endif
