// What is the same on every platform: walking components, the folder cache, and the words
// for problems. The system calls are in platform/<system>/folder_access.cpp.
#include "platform/destination_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/folder_names.h"

namespace ydr::platform {
bool IsBadComponent(const std::string &name) {
  return name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
         name.find('\\') != std::string::npos;
}

std::string TemporaryNameFor(const std::string &name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[24];
  static_cast<void>(std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull)));
  // A long name keeps its start, so the temporary name stays within the file system's limit.
  return "." + name.substr(0, 200) + suffix;
}

bool FailWith(FolderProblem *problem, FolderProblem::Kind kind, const std::string &component, int error) {
  problem->kind = kind;
  problem->error = error;
  problem->component = component;
  return false;
}

// Why a name that should be a folder (or a file) is not one.
bool FailForKind(DestinationFolder::EntryKind kind, FolderProblem::Kind wrong_kind, const std::string &where, int error,
                 FolderProblem *problem) {
  using EntryKind = DestinationFolder::EntryKind;
  if (kind == EntryKind::kLink) return FailWith(problem, FolderProblem::kLink, where);
  if (kind != EntryKind::kNothing) return FailWith(problem, wrong_kind, where);
  return FailWith(problem, FolderProblem::kSystem, where, error);
}

namespace {

// The process (or the system) has no descriptor left to give.
bool OutOfDescriptors(const FolderProblem &problem) {
  return problem.kind == FolderProblem::kSystem && (problem.error == EMFILE || problem.error == ENFILE);
}

}  // namespace

std::string FolderProblem::Describe() const {
  switch (kind) {
    case kNone: return "no problem";
    case kLink: return "a symbolic link is in the way at '" + component + "'";
    case kNotFolder: return "'" + component + "' is not a folder";
    case kNotRegular: return "'" + component + "' is not a regular file";
    case kBadName: return "the name has no usable path";
    case kExists: return "'" + component + "' exists already";
    case kSystem: return (component.empty() ? std::string() : "'" + component + "': ") + std::strerror(error);
  }
  return "failed";
}

DestinationFolder::~DestinationFolder() {
  if (fd_ >= 0) CloseFolder(fd_);
}

int DestinationFolder::OpenFolder(const std::vector<std::string> &components, FolderProblem *problem) const {
  int current = CopyFolder(fd_);
  if (current < 0) return FailWith(problem, FolderProblem::kSystem, "", errno), -1;
  std::string where;
  for (const std::string &name : components) {
    where += (where.empty() ? "" : "/") + name;
    const int next = IsBadComponent(name) ? (FailWith(problem, FolderProblem::kBadName, where), -1)
                                          : OpenChild(current, name, true, where, problem);
    CloseFolder(current);
    if (next < 0) return -1;
    current = next;
  }
  return current;
}

bool DestinationFolder::Holds(const std::vector<std::string> &components) const {
  if (components.empty()) return true;
  int current = CopyFolder(fd_);
  FolderProblem ignored;
  for (std::size_t i = 0; current >= 0 && i + 1 < components.size(); ++i) {
    const int next = IsBadComponent(components[i]) ? -1 : OpenChild(current, components[i], false, "", &ignored);
    CloseFolder(current);
    current = next;
  }
  if (current < 0) return false;
  const bool held = !IsBadComponent(components.back()) && KindAt(current, components.back()) != EntryKind::kNothing;
  CloseFolder(current);
  return held;
}

FolderCache::~FolderCache() {
  for (auto &[key, entry] : open_) DestinationFolder::CloseFolder(entry.fd);
}

int FolderCache::Lookup(const std::string &key) {
  const auto it = open_.find(key);
  if (it == open_.end()) return -1;
  it->second.used = ++clock_;
  return it->second.fd;
}

void FolderCache::Keep(const std::string &key, int fd) {
  if (open_.size() >= capacity_) {
    auto oldest = open_.begin();
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->second.used < oldest->second.used) oldest = it;
    }
    DestinationFolder::CloseFolder(oldest->second.fd);
    open_.erase(oldest);
  }
  open_[key] = {fd, ++clock_};
}

int FolderCache::Get(const std::vector<std::string> &components, bool create, FolderProblem *problem) {
  if (components.empty()) return dest_.descriptor();
  std::string key;
  for (const std::string &c : components) key += c + '/';
  if (const int fd = Lookup(key); fd >= 0) return fd;
  if (!create && missing_.count(key) != 0) return FailWith(problem, FolderProblem::kSystem, key, ENOENT), -1;
  // The parent, from the cache or made the same way; then this one folder below it.
  const std::vector<std::string> parent_components(components.begin(), components.end() - 1);
  const int parent = Get(parent_components, create, problem);
  if (parent < 0) return -1;
  const std::string &name = components.back();
  const std::string where = key.substr(0, key.size() - 1);
  if (IsBadComponent(name)) return FailWith(problem, FolderProblem::kBadName, where), -1;
  int fd = DestinationFolder::OpenChild(parent, name, create, where, problem);
  if (fd < 0 && OutOfDescriptors(*problem)) {
    // Out of descriptors: what the cache holds is the likeliest to give back.
    Trim(parent);
    fd = DestinationFolder::OpenChild(parent, name, create, where, problem);
  }
  if (fd < 0) {
    if (problem->kind == FolderProblem::kSystem && problem->error == ENOENT && !create) missing_.insert(key);
    return -1;
  }
  missing_.erase(key);
  Keep(key, fd);
  return fd;
}

int FolderCache::CreateTemporary(int folder, const std::string &name, std::string *temporary, FolderProblem *problem) {
  const int fd = DestinationFolder::CreateTemporary(folder, name, temporary, problem);
  if (fd >= 0 || !OutOfDescriptors(*problem)) return fd;
  Trim(folder);
  return DestinationFolder::CreateTemporary(folder, name, temporary, problem);
}

void FolderCache::Trim(int keep) {
  for (auto it = open_.begin(); it != open_.end();) {
    if (it->second.fd == keep) {
      ++it;
      continue;
    }
    DestinationFolder::CloseFolder(it->second.fd);
    it = open_.erase(it);
  }
}

bool FolderCache::Holds(const std::vector<std::string> &components, bool files_only) {
  if (components.empty()) return true;
  FolderProblem ignored;
  const int parent = Get(std::vector<std::string>(components.begin(), components.end() - 1), false, &ignored);
  if (parent < 0 || IsBadComponent(components.back())) return false;
  const DestinationFolder::EntryKind kind = DestinationFolder::KindAt(parent, components.back());
  return files_only ? kind == DestinationFolder::EntryKind::kRegular : kind != DestinationFolder::EntryKind::kNothing;
}

std::vector<std::string> PathComponents(const std::string &path) {
  std::vector<std::string> components;
  std::string current;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (!current.empty() && current != ".") components.push_back(current);
      current.clear();
    } else {
      current.push_back(path[i]);
    }
  }
  return components;
}

}  // namespace ydr::platform
