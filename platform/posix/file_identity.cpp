#include "platform/file_identity.h"

#include <sys/stat.h>

namespace ydr::platform {
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

}  // namespace ydr::platform
