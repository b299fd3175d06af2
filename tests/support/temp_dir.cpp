#include "tests/support/temp_dir.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace ydr::test {

namespace fs = std::filesystem;

namespace {

// Paths in tests are UTF-8, as the library's are; the file-system library reads a plain
// string in the ANSI code page on Windows.
fs::path P(const std::string &utf8) { return fs::u8path(utf8); }

void SetEnvironment(const char *name, const char *value) {
#if defined(_WIN32)
  _putenv_s(name, value != nullptr ? value : "");  // an empty value removes the variable there
#else
  value != nullptr ? setenv(name, value, 1) : unsetenv(name);
#endif
}

}  // namespace

TempDir::TempDir() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const fs::path temp = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    // Names of one length: a shorter path can cost one more allocation in an allocation sweep.
    const fs::path candidate = temp / ("ydr-test-" + std::to_string(random() % 900000000000ull + 100000000000ull));
    if (fs::create_directory(candidate)) path_ = candidate.u8string();
  }
  if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::permissions(P(path_), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(P(path_), ignored);
}

std::string TempDir::operator/(const std::string &relative) const {
  std::string path = path_ + "/" + relative;
#if defined(_WIN32)
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

std::string TempDir::MakeDir(const std::string &relative) const {
  fs::create_directories(P(*this / relative));
  return *this / relative;
}

std::string TempDir::WriteFile(const std::string &relative, const std::string &content) const {
  const fs::path full = P(*this / relative);
  fs::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << content;
  return full.u8string();
}

std::string TempDir::CopyFile(const std::string &from, const std::string &relative) const {
  const fs::path full = P(*this / relative);
  fs::create_directories(full.parent_path());
  fs::copy_file(P(from), full, fs::copy_options::overwrite_existing);  // with its permissions
  return full.u8string();
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(P(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::FILE *OpenBytes(const std::string &bytes) {
#if defined(_WIN32)
  static TempDir *const folder = new TempDir;  // for the process; its files are small
  static int count = 0;
  const std::string path = folder->WriteFile("bytes-" + std::to_string(++count), bytes);
  return _wfopen(P(path).c_str(), L"rb");
#else
  return fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
#endif
}

bool DescriptorIsOpen(int fd) {
#if defined(_WIN32)
  return _get_osfhandle(fd) != -1;
#else
  return fcntl(fd, F_GETFD) != -1;
#endif
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string &path) : previous_(fs::current_path().u8string()) {
  fs::current_path(P(path));
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() { fs::current_path(P(previous_)); }

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name) {
  if (const char *old = std::getenv(name)) previous_ = old;
  SetEnvironment(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironment(name_.c_str(), previous_ ? previous_->c_str() : nullptr); }

}  // namespace ydr::test
