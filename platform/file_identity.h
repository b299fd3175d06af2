// Which file a path or an open stream is, as the file system tells files apart (device and
// inode; volume and file index on Windows): links and different spellings of one path give the same identity. Used to
// keep an archive out of its own members and to walk a folder reached through several links once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace ydr::platform {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
  bool operator<(const FileIdentity &other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};

// Of what a native path names, following links; none when it cannot be examined.
std::optional<FileIdentity> IdentityOfPath(const std::string &native_path);
std::optional<FileIdentity> IdentityOfStream(std::FILE *stream);

}  // namespace ydr::platform
