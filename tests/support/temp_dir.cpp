#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ydr::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "ydr-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempDir::MakeDir(const std::string &relative) const {
  std::string full = *this / relative;
  fs::create_directories(full);
  return full;
}

std::string TempDir::WriteFile(const std::string &relative, const std::string &content) const {
  const fs::path full = fs::path(*this / relative);
  fs::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << content;
  return full.string();
}

std::string TempDir::CopyFile(const std::string &from, const std::string &relative) const {
  const fs::path full = fs::path(*this / relative);
  fs::create_directories(full.parent_path());
  fs::copy_file(from, full, fs::copy_options::overwrite_existing);
  return full.string();
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string &path) : previous_(fs::current_path().string()) {
  fs::current_path(path);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() { fs::current_path(previous_); }

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name) {
  const char *old = std::getenv(name);
  had_value_ = old != nullptr;
  if (had_value_) previous_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_value_) {
    setenv(name_.c_str(), previous_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace ydr::test
