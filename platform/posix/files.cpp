// Files: opening, examining and reading them, their identity, and paths at the file system's boundary, on POSIX.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/find_data.h"

namespace ydr::platform {

std::FILE *OpenStream(const std::string &path, const char *mode) { return std::fopen(path.c_str(), mode); }

int OpenForReading(const std::string &path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }

bool RemoveFile(const std::string &path) { return std::remove(path.c_str()) == 0; }

bool StatusOf(const std::string &path, PathStatus *status) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  status->kind = S_ISREG(info.st_mode)   ? PathStatus::Kind::kRegular
                 : S_ISDIR(info.st_mode) ? PathStatus::Kind::kFolder
                                         : PathStatus::Kind::kOther;
  status->size = static_cast<std::uint64_t>(info.st_size);
  status->identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

bool AnythingAt(const std::string &path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool IsSymbolicLink(const std::string &path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool FolderNames(const std::string &folder, std::vector<std::string> *names) {
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent *item = readdir(dir)) {
    if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0) names->push_back(item->d_name);
  }
  closedir(dir);
  return true;
}

bool IsTerminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

bool SeekStream(std::FILE *file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
    errno = EINVAL;
    return false;
  }
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SeekStreamToEnd(std::FILE *file) { return fseeko(file, 0, SEEK_END) == 0; }

std::int64_t StreamPosition(std::FILE *file) { return ftello(file); }

bool TruncateStream(std::FILE *file, std::uint64_t size) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

std::FILE *StreamFromDescriptor(int fd, const char *mode) {
  std::FILE *file = fdopen(fd, mode);
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return file;
}

bool CloseDescriptor(int fd) { return close(fd) == 0; }

long ReadDescriptor(int fd, void *buffer, std::size_t size) { return read(fd, buffer, size); }

long WriteDescriptor(int fd, const void *buffer, std::size_t size) { return write(fd, buffer, size); }

std::optional<bool> CloseSystemSearch(HANDLE) { return std::nullopt; }

namespace {

FileIdentity Of(const struct stat &info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

std::optional<FileIdentity> IdentityOfPath(const std::string &native_path) {
  struct stat info;
  if (stat(native_path.c_str(), &info) != 0) return std::nullopt;
  return Of(info);
}

std::optional<FileIdentity> IdentityOfStream(std::FILE *stream) {
  struct stat info;
  if (stream == nullptr || fstat(fileno(stream), &info) != 0) return std::nullopt;
  return Of(info);
}

std::string OpenProblem::Describe() const {
  if (not_regular) return "not a regular file";
  return std::strerror(error);
}

namespace {

int SystemFlags(const OpenFor &how) {
  using Access = OpenFor::Access;
  const int access = how.access == Access::kRead ? O_RDONLY : how.access == Access::kWrite ? O_WRONLY : O_RDWR;
  return access | (how.create ? O_CREAT : 0) | (how.exclusive ? O_EXCL : 0) | (how.append ? O_APPEND : 0);
}

}  // namespace

// The open never waits: O_NONBLOCK until the type is known.
int OpenRegularFile(const std::string &path, const OpenFor &how, OpenProblem *problem) {
  const bool truncate = how.truncate;
  const int fd = open(path.c_str(), SystemFlags(how) | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) {
    problem->error = errno;
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
    close(fd);
    problem->not_regular = true;
    problem->error = S_ISDIR(info.st_mode) ? EISDIR : 0;
    return -1;
  }
  if ((truncate && ftruncate(fd, 0) != 0) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    problem->error = errno;
    close(fd);
    return -1;
  }
  return fd;
}

long long ReadAt(std::FILE *file, std::uint64_t offset, void *buffer, std::size_t size) {
  const int fd = fileno(file);
  if (fd < 0) {  // a stream without a file (in memory): through the stream after all
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return -1;
    const std::size_t got = std::fread(buffer, 1, size, file);
    return got == 0 && std::ferror(file) != 0 ? -1 : static_cast<long long>(got);
  }
  for (;;) {
    const ssize_t n = pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

// Windows paths as POSIX ones: '\\' becomes '/', and a drive letter is dropped.
std::string NativePath(std::string_view path) {
  if (HasDrive(path)) path.remove_prefix(2);
  std::string out(path);
  for (char &c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

bool IsAbsolutePath(std::string_view path) {
  if (HasDrive(path)) path.remove_prefix(2);
  return !path.empty() && IsSeparator(static_cast<unsigned char>(path[0]));
}

std::string NativePathFromWide(const portable::WChar *path) { return NativePath(portable::Utf8FromWide(path)); }

}  // namespace ydr::platform
