/* A test-only interposer, loaded into the command with LD_PRELOAD, that makes one call of the
 * C library fail the way a sick disk, a full one or a signal makes it fail, so that the tests
 * can watch what the command does with the failure.
 *
 * The environment says what to do:
 *   YDR_FAULT_CALLS  which calls count: a comma-separated list of families (open, read,
 *                    write, mkdir, rename, sync, close, truncate, unlink, alloc) or "io" for
 *                    every family but alloc
 *   YDR_FAULT_AT     the counted call that fails, from 1; 0 or unset only counts
 *   YDR_FAULT_ERROR  EIO, ENOSPC or EINTR (the call fails with that error), SHORT (a read or
 *                    write moves only part of its bytes), KILL (the process is killed there)
 *   YDR_FAULT_STDOUT 1: standard output counts (and fails) like any file
 *   YDR_FAULT_LOG    a file that gets a line "fault FAMILY CALL SIDE DETAIL" when the fault
 *                    is injected (written at once, so a killed process leaves it too) and a
 *                    line "calls N" when the process exits normally
 *
 * Counting starts when main starts (the loader's and the C runtime's own start-up are not
 * the command's), and covers every thread. Standard input and error are never failed, nor
 * standard output unless asked: the tests read what the command says there. Only one call fails; every later one runs
 * as it would have.
 *
 * stdio writes through internal aliases of write that no interposer sees, so the stream calls
 * that move data or settle it (fwrite, fputs, fputc, fflush, fseeko, fclose) count as the
 * write family (fclose as close) and fail as the stream would: the error flag set, errno set.
 * A SHORT fault on a stream call is no fault at all, since the stream retries short writes
 * and reads itself.
 *
 * Allocation failures (the module built with YDR_FAULT_ALLOCATION) come from the C library's
 * own allocator (__libc_malloc and friends), so no lookup is needed while the allocator is
 * being replaced. */
/* Both spellings of each call are defined here (open and open64, ...), so the build's
 * 64-bit file offsets, which rename the first into the second, are left out. */
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

enum Family {
  kOpen = 1 << 0,
  kRead = 1 << 1,
  kWrite = 1 << 2,
  kMkdir = 1 << 3,
  kRename = 1 << 4,
  kSync = 1 << 5,
  kClose = 1 << 6,
  kTruncate = 1 << 7,
  kUnlink = 1 << 8,
  kAlloc = 1 << 9,
  kIo = kOpen | kRead | kWrite | kMkdir | kRename | kSync | kClose | kTruncate | kUnlink
};

enum Action { kFail, kShort, kKill };

static const struct {
  const char *name;
  int family;
} kFamilies[] = {{"open", kOpen},     {"read", kRead},   {"write", kWrite}, {"mkdir", kMkdir},
                 {"rename", kRename}, {"sync", kSync},   {"close", kClose}, {"truncate", kTruncate},
                 {"unlink", kUnlink}, {"alloc", kAlloc}, {"io", kIo}};

static int counted_families;
static long fail_at;
static int fail_error = EIO;
static enum Action action = kFail;
static char log_path[4096];
static char spared_library[256]; /* YDR_FAULT_SPARE: allocations from this library go untouched */
static int count_stdout;
static atomic_int armed;
static atomic_long calls;

/* ---- set-up ---- */

static int FamiliesFrom(const char *text) {
  int families = 0;
  while (text != NULL && *text != '\0') {
    const char *end = strchr(text, ',');
    const size_t length = end != NULL ? (size_t)(end - text) : strlen(text);
    for (size_t i = 0; i < sizeof kFamilies / sizeof kFamilies[0]; ++i) {
      if (strlen(kFamilies[i].name) == length && strncmp(kFamilies[i].name, text, length) == 0) {
        families |= kFamilies[i].family;
      }
    }
    text = end != NULL ? end + 1 : NULL;
  }
  return families;
}

static void ReadSettings(void) {
  counted_families = FamiliesFrom(getenv("YDR_FAULT_CALLS"));
  const char *at = getenv("YDR_FAULT_AT");
  fail_at = at != NULL ? strtol(at, NULL, 10) : 0;
  const char *error = getenv("YDR_FAULT_ERROR");
  if (error != NULL) {
    if (strcmp(error, "ENOSPC") == 0) fail_error = ENOSPC;
    if (strcmp(error, "EINTR") == 0) fail_error = EINTR;
    if (strcmp(error, "SHORT") == 0) action = kShort;
    if (strcmp(error, "KILL") == 0) action = kKill;
  }
  const char *stdout_too = getenv("YDR_FAULT_STDOUT");
  count_stdout = stdout_too != NULL && strcmp(stdout_too, "1") == 0;
  const char *spare = getenv("YDR_FAULT_SPARE");
  if (spare != NULL && strlen(spare) < sizeof spared_library) strcpy(spared_library, spare);
  const char *log = getenv("YDR_FAULT_LOG");
  if (log != NULL && strlen(log) < sizeof log_path) strcpy(log_path, log);
}

/* The log is written with raw system calls: never counted, never failed, no allocation. */
static void Log(const char *line) {
  if (log_path[0] == '\0') return;
  const long fd = syscall(SYS_openat, AT_FDCWD, log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const ssize_t written = (ssize_t)syscall(SYS_write, (int)fd, line, strlen(line));
  (void)written;
  syscall(SYS_close, (int)fd);
}

static void Append(char *line, size_t size, const char *text) {
  const size_t used = strlen(line);
  if (used + 1 < size) strncat(line, text, size - used - 1);
}

static void AppendNumber(char *line, size_t size, long value) {
  char digits[24];
  int i = (int)sizeof digits - 1;
  digits[i] = '\0';
  const int negative = value < 0;
  unsigned long magnitude = negative ? 0UL - (unsigned long)value : (unsigned long)value;
  do {
    digits[--i] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0 && i > 1);
  if (negative) digits[--i] = '-';
  Append(line, size, digits + i);
}

__attribute__((destructor)) static void ReportCalls(void) {
  if (!atomic_load(&armed)) return;
  char line[64] = "calls ";
  AppendNumber(line, sizeof line, atomic_load(&calls));
  Append(line, sizeof line, "\n");
  Log(line);
}

/* main runs with counting armed; everything before it is the loader's and the runtime's. */
typedef int (*MainFunction)(int, char **, char **);
static MainFunction real_main;

static int ArmedMain(int argc, char **argv, char **envp) {
  ReadSettings();
  atomic_store(&armed, 1);
  return real_main(argc, argv, envp);
}

typedef int (*StartMain)(MainFunction, int, char **, void (*)(void), void (*)(void), void (*)(void), void *);

int __libc_start_main(MainFunction main, int argc, char **argv, void (*init)(void), void (*fini)(void),
                      void (*rtld_fini)(void), void *stack_end) {
  void *found = dlsym(RTLD_NEXT, "__libc_start_main");
  StartMain next;
  memcpy(&next, &found, sizeof next);
  real_main = main;
  return next(ArmedMain, argc, argv, init, fini, rtld_fini, stack_end);
}

/* ---- the decision ---- */

/* Whether the descriptor was opened for writing. */
static int Writable(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

/* What a file name or descriptor is, for the log. */
static void Describe(char *detail, size_t size, const char *path, int fd) {
  if (path != NULL) {
    Append(detail, size, path);
    return;
  }
  char link[64] = "/proc/self/fd/";
  AppendNumber(link, sizeof link, fd);
  const long n = syscall(SYS_readlinkat, AT_FDCWD, link, detail + strlen(detail), size - strlen(detail) - 1);
  if (n > 0) {
    detail[strlen(detail) + (size_t)n] = '\0';
  } else {
    Append(detail, size, "fd ");
    AppendNumber(detail, size, fd);
  }
}

/* Counts a call of `family`; true when this is the one to fail. The standard streams
 * (fd 0 to 2) are neither counted nor failed, standard output aside when asked. `writes` says whether the call changes
 * what is on disk (for the log: the tests expect every such failure to be reported). */
static int Strike(int family, const char *call, int fd, const char *path, int writes) {
  if (!atomic_load(&armed) || (counted_families & family) == 0) return 0;
  if (path == NULL && fd >= 0 && fd <= 2 && !(fd == 1 && count_stdout)) return 0;
  const long n = atomic_fetch_add(&calls, 1) + 1;
  if (n != fail_at) return 0;
  char line[4096 + 128] = "fault ";
  for (size_t i = 0; i < sizeof kFamilies / sizeof kFamilies[0]; ++i) {
    if (kFamilies[i].family == family) Append(line, sizeof line, kFamilies[i].name);
  }
  Append(line, sizeof line, " ");
  Append(line, sizeof line, call);
  Append(line, sizeof line, writes ? " write-side " : " read-side ");
  Describe(line, sizeof line, path, fd);
  Append(line, sizeof line, "\n");
  Log(line);
  if (action == kKill) syscall(SYS_kill, getpid(), SIGKILL);
  return 1;
}

/* The next definition of `name` (the C library's, or a sanitizer's in front of it). dlsym
 * gives an object pointer; it becomes a function pointer through memcpy, as ISO C wants. */
typedef void (*AnyFunction)(void);
static AnyFunction Next(const char *name) {
  void *found = dlsym(RTLD_NEXT, name);
  AnyFunction function;
  memcpy(&function, &found, sizeof function);
  return function;
}
#define NEXT(type, name) ((type)Next(name))

/* ---- descriptors ---- */

static int OpenWrites(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

static int OpenAt(const char *call, int dirfd, const char *path, int flags, mode_t mode) {
  if (Strike(kOpen, call, -1, path, OpenWrites(flags)) && action != kShort) {
    errno = fail_error;
    return -1;
  }
  typedef int (*Fn)(int, const char *, int, ...);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "openat");
  return next(dirfd, path, flags, mode);
}

static mode_t ModeArgument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

int open(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenAt("open", AT_FDCWD, path, flags, mode);
}

int open64(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenAt("open", AT_FDCWD, path, flags | O_LARGEFILE, mode);
}

int openat(int dirfd, const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenAt("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenAt("openat", dirfd, path, flags | O_LARGEFILE, mode);
}

int __open_2(const char *path, int flags) { return OpenAt("open", AT_FDCWD, path, flags, 0); }
int __open64_2(const char *path, int flags) { return OpenAt("open", AT_FDCWD, path, flags | O_LARGEFILE, 0); }
int __openat_2(int dirfd, const char *path, int flags) { return OpenAt("openat", dirfd, path, flags, 0); }
int __openat64_2(int dirfd, const char *path, int flags) {
  return OpenAt("openat", dirfd, path, flags | O_LARGEFILE, 0);
}

static int MakeTemporary(const char *call, char *pattern, int flags, const char *next_name) {
  if (Strike(kOpen, call, -1, pattern, 1) && action != kShort) {
    errno = fail_error;
    return -1;
  }
  typedef int (*Fn)(char *, int);
  return NEXT(Fn, next_name)(pattern, flags);
}

int mkstemp(char *pattern) { return MakeTemporary("mkstemp", pattern, 0, "mkostemp"); }
int mkstemp64(char *pattern) { return MakeTemporary("mkstemp", pattern, 0, "mkostemp64"); }
int mkostemp(char *pattern, int flags) { return MakeTemporary("mkostemp", pattern, flags, "mkostemp"); }
int mkostemp64(char *pattern, int flags) { return MakeTemporary("mkostemp", pattern, flags, "mkostemp64"); }

/* A read or write of `size` bytes: -1 with the error, a shorter size, or the size itself. */
static size_t Transfer(int family, const char *call, int fd, size_t size, int *fail) {
  *fail = 0;
  if (!Strike(family, call, fd, NULL, family == kWrite)) return size;
  if (action == kShort && size > 1) return size / 2;
  if (action == kFail) *fail = 1;
  return size;
}

ssize_t read(int fd, void *buffer, size_t size) {
  int fail;
  size = Transfer(kRead, "read", fd, size, &fail);
  if (fail) {
    errno = fail_error;
    return -1;
  }
  typedef ssize_t (*Fn)(int, void *, size_t);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "read");
  return next(fd, buffer, size);
}

ssize_t __read_chk(int fd, void *buffer, size_t size, size_t buffer_size) {
  (void)buffer_size;
  return read(fd, buffer, size);
}

static ssize_t PositionedRead(const char *call, int fd, void *buffer, size_t size, off64_t offset) {
  int fail;
  size = Transfer(kRead, call, fd, size, &fail);
  if (fail) {
    errno = fail_error;
    return -1;
  }
  typedef ssize_t (*Fn)(int, void *, size_t, off64_t);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "pread64");
  return next(fd, buffer, size, offset);
}

ssize_t pread(int fd, void *buffer, size_t size, off_t offset) {
  return PositionedRead("pread", fd, buffer, size, offset);
}
ssize_t pread64(int fd, void *buffer, size_t size, off64_t offset) {
  return PositionedRead("pread", fd, buffer, size, offset);
}
ssize_t __pread_chk(int fd, void *buffer, size_t size, off_t offset, size_t buffer_size) {
  (void)buffer_size;
  return PositionedRead("pread", fd, buffer, size, offset);
}
ssize_t __pread64_chk(int fd, void *buffer, size_t size, off64_t offset, size_t buffer_size) {
  (void)buffer_size;
  return PositionedRead("pread", fd, buffer, size, offset);
}

ssize_t write(int fd, const void *buffer, size_t size) {
  int fail;
  size = Transfer(kWrite, "write", fd, size, &fail);
  if (fail) {
    errno = fail_error;
    return -1;
  }
  typedef ssize_t (*Fn)(int, const void *, size_t);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "write");
  return next(fd, buffer, size);
}

static ssize_t PositionedWrite(int fd, const void *buffer, size_t size, off64_t offset) {
  int fail;
  size = Transfer(kWrite, "pwrite", fd, size, &fail);
  if (fail) {
    errno = fail_error;
    return -1;
  }
  typedef ssize_t (*Fn)(int, const void *, size_t, off64_t);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "pwrite64");
  return next(fd, buffer, size, offset);
}

ssize_t pwrite(int fd, const void *buffer, size_t size, off_t offset) {
  return PositionedWrite(fd, buffer, size, offset);
}
ssize_t pwrite64(int fd, const void *buffer, size_t size, off64_t offset) {
  return PositionedWrite(fd, buffer, size, offset);
}

/* A call with no data to move: true when it is to fail (errno set). */
static int Refuse(int family, const char *call, int fd, const char *path, int writes) {
  if (!Strike(family, call, fd, path, writes) || action == kShort) return 0;
  errno = fail_error;
  return 1;
}

int mkdir(const char *path, mode_t mode) {
  if (Refuse(kMkdir, "mkdir", -1, path, 1)) return -1;
  typedef int (*Fn)(const char *, mode_t);
  return NEXT(Fn, "mkdir")(path, mode);
}

int mkdirat(int dirfd, const char *path, mode_t mode) {
  if (Refuse(kMkdir, "mkdirat", -1, path, 1)) return -1;
  typedef int (*Fn)(int, const char *, mode_t);
  return NEXT(Fn, "mkdirat")(dirfd, path, mode);
}

int rename(const char *from, const char *to) {
  if (Refuse(kRename, "rename", -1, to, 1)) return -1;
  typedef int (*Fn)(const char *, const char *);
  return NEXT(Fn, "rename")(from, to);
}

int renameat(int from_dir, const char *from, int to_dir, const char *to) {
  if (Refuse(kRename, "renameat", -1, to, 1)) return -1;
  typedef int (*Fn)(int, const char *, int, const char *);
  return NEXT(Fn, "renameat")(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char *from, int to_dir, const char *to, unsigned int flags) {
  if (Refuse(kRename, "renameat2", -1, to, 1)) return -1;
  typedef int (*Fn)(int, const char *, int, const char *, unsigned int);
  return NEXT(Fn, "renameat2")(from_dir, from, to_dir, to, flags);
}

int fsync(int fd) {
  if (Refuse(kSync, "fsync", fd, NULL, 1)) return -1;
  typedef int (*Fn)(int);
  return NEXT(Fn, "fsync")(fd);
}

int fdatasync(int fd) {
  if (Refuse(kSync, "fdatasync", fd, NULL, 1)) return -1;
  typedef int (*Fn)(int);
  return NEXT(Fn, "fdatasync")(fd);
}

/* A failed close still closes, as the system's does. */
int close(int fd) {
  const int fail = Refuse(kClose, "close", fd, NULL, Writable(fd));
  const int saved = errno;
  typedef int (*Fn)(int);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "close");
  const int result = next(fd);
  if (!fail) return result;
  errno = saved;
  return -1;
}

int ftruncate(int fd, off_t length) {
  if (Refuse(kTruncate, "ftruncate", fd, NULL, 1)) return -1;
  typedef int (*Fn)(int, off64_t);
  return NEXT(Fn, "ftruncate64")(fd, length);
}

int ftruncate64(int fd, off64_t length) {
  if (Refuse(kTruncate, "ftruncate", fd, NULL, 1)) return -1;
  typedef int (*Fn)(int, off64_t);
  return NEXT(Fn, "ftruncate64")(fd, length);
}

int unlink(const char *path) {
  if (Refuse(kUnlink, "unlink", -1, path, 1)) return -1;
  typedef int (*Fn)(const char *);
  return NEXT(Fn, "unlink")(path);
}

int unlinkat(int dirfd, const char *path, int flags) {
  if (Refuse(kUnlink, "unlinkat", -1, path, 1)) return -1;
  typedef int (*Fn)(int, const char *, int);
  return NEXT(Fn, "unlinkat")(dirfd, path, flags);
}

int remove(const char *path) {
  if (Refuse(kUnlink, "remove", -1, path, 1)) return -1;
  typedef int (*Fn)(const char *);
  return NEXT(Fn, "remove")(path);
}

/* ---- streams ---- */

static int StreamFd(FILE *stream) { return stream != NULL ? fileno(stream) : -1; }

static int ModeWrites(const char *mode) { return strpbrk(mode, "wa+") != NULL; }

static FILE *OpenStream(const char *call, const char *path, const char *mode, const char *next_name) {
  if (Strike(kOpen, call, -1, path, ModeWrites(mode)) && action != kShort) {
    errno = fail_error;
    return NULL;
  }
  typedef FILE *(*Fn)(const char *, const char *);
  return NEXT(Fn, next_name)(path, mode);
}

FILE *fopen(const char *path, const char *mode) { return OpenStream("fopen", path, mode, "fopen"); }
FILE *fopen64(const char *path, const char *mode) { return OpenStream("fopen", path, mode, "fopen64"); }

/* A stream call that fails: the stream's error flag set, as a failed system call sets it. */
static int StreamFails(int family, const char *call, FILE *stream, int writes) {
  if (!Strike(family, call, StreamFd(stream), NULL, writes) || action == kShort) return 0;
  stream->_flags |= _IO_ERR_SEEN;
  errno = fail_error;
  return 1;
}

size_t fread(void *buffer, size_t size, size_t count, FILE *stream) {
  if (size != 0 && count != 0 && StreamFails(kRead, "fread", stream, 0)) return 0;
  typedef size_t (*Fn)(void *, size_t, size_t, FILE *);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "fread");
  return next(buffer, size, count, stream);
}

size_t __fread_chk(void *buffer, size_t buffer_size, size_t size, size_t count, FILE *stream) {
  (void)buffer_size;
  return fread(buffer, size, count, stream);
}

size_t fwrite(const void *buffer, size_t size, size_t count, FILE *stream) {
  if (size != 0 && count != 0 && StreamFails(kWrite, "fwrite", stream, 1)) return 0;
  typedef size_t (*Fn)(const void *, size_t, size_t, FILE *);
  static Fn next;
  if (next == NULL) next = NEXT(Fn, "fwrite");
  return next(buffer, size, count, stream);
}

int fputs(const char *text, FILE *stream) {
  if (StreamFails(kWrite, "fputs", stream, 1)) return EOF;
  typedef int (*Fn)(const char *, FILE *);
  return NEXT(Fn, "fputs")(text, stream);
}

int fputc(int c, FILE *stream) {
  if (StreamFails(kWrite, "fputc", stream, 1)) return EOF;
  typedef int (*Fn)(int, FILE *);
  return NEXT(Fn, "fputc")(c, stream);
}

int fflush(FILE *stream) {
  if (stream != NULL && StreamFails(kWrite, "fflush", stream, 1)) return EOF;
  typedef int (*Fn)(FILE *);
  return NEXT(Fn, "fflush")(stream);
}

static int Seek(const char *call, FILE *stream, off64_t offset, int whence) {
  if (Writable(StreamFd(stream)) && StreamFails(kWrite, call, stream, 1)) return -1;
  typedef int (*Fn)(FILE *, off64_t, int);
  return NEXT(Fn, "fseeko64")(stream, offset, whence);
}

int fseeko(FILE *stream, off_t offset, int whence) { return Seek("fseeko", stream, offset, whence); }
int fseeko64(FILE *stream, off64_t offset, int whence) { return Seek("fseeko", stream, offset, whence); }
int fseek(FILE *stream, long offset, int whence) { return Seek("fseek", stream, offset, whence); }

/* A failed fclose still closes the stream. */
int fclose(FILE *stream) {
  const int fd = StreamFd(stream);
  const int fail = Refuse(kClose, "fclose", fd, NULL, Writable(fd));
  typedef int (*Fn)(FILE *);
  const int result = NEXT(Fn, "fclose")(stream);
  if (!fail) return result;
  errno = fail_error;
  return EOF;
}

/* ---- memory ----
 * Only in the allocation build of this module: replacing the allocator would take it from
 * under a sanitizer's runtime, so the I/O build leaves it alone. */
#if defined(YDR_FAULT_ALLOCATION)

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);

/* Whether the allocation was asked for from inside the spared library (YDR_FAULT_SPARE):
 * the caller's address lies in a module of that name. dladdr takes the loader's lock, which
 * the same thread may hold already (it is recursive), and allocates nothing. */
static int FromSparedLibrary(const void *caller) {
  if (spared_library[0] == '\0') return 0;
  Dl_info info;
  return dladdr(caller, &info) != 0 && info.dli_fname != NULL && strstr(info.dli_fname, spared_library) != NULL;
}

static int AllocationFails(const char *call, const void *caller) {
  if (FromSparedLibrary(caller) || !Strike(kAlloc, call, -1, "", 0) || action == kShort) return 0;
  errno = ENOMEM;
  return 1;
}

void *malloc(size_t size) {
  return AllocationFails("malloc", __builtin_return_address(0)) ? NULL : __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
  return AllocationFails("calloc", __builtin_return_address(0)) ? NULL : __libc_calloc(count, size);
}
void *realloc(void *block, size_t size) {
  return size != 0 && AllocationFails("realloc", __builtin_return_address(0)) ? NULL : __libc_realloc(block, size);
}
#endif
