#include "platform/file_access.h"
#include "platform/find_data.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::optional<bool> CloseSystemSearch(HANDLE) { return std::nullopt; }

}  // namespace ydr::platform
