// A folder of its own for each test, removed afterwards.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "portable/utf16.h"

namespace ydr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  // The path of `relative` (written with '/') below the folder, in the system's separators.
  std::string operator/(const std::string &relative) const;
  // Paths are relative to the folder; parents are made as needed.
  std::string MakeDir(const std::string &relative) const;
  std::string WriteFile(const std::string &relative, const std::string &content = "") const;
  std::string CopyFile(const std::string &from, const std::string &relative) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string &path);

// UTF-8 literal to the library's UTF-16.
inline portable::WString W(const std::string &utf8) { return portable::WideFromUtf8(utf8); }

// A stream reading `bytes` (which must outlive it): in memory where the C library can, else
// from a temporary file.
std::FILE *OpenBytes(const std::string &bytes);

// Whether a C runtime file descriptor is open.
bool DescriptorIsOpen(int fd);

// Runs code in another current directory, restoring the old one after.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string &path);
  ~ScopedCurrentDirectory();

 private:
  std::string previous_;
};

// Sets or clears an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value);  // null value: unset
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace ydr::test
