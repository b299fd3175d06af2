#include "platform/file_access.h"
#include "platform/find_data.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

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

}  // namespace ydr::platform
