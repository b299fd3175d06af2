// Folders as paths. Windows' C interface cannot open a name relative to a folder handle
// without following reparse points, so a folder here is a number for its full path (kept in a
// table), and every name is checked just before it is used: a reparse point (symbolic link,
// junction, mount point) where a folder or file must go is refused, and so are names the
// system would take for something else (a device such as CON or NUL, a stream "a:b", a name
// ending in a dot or space, which Windows would silently cut). What this leaves open is a
// link swapped in between the check and the use by someone who can already write inside
// the destination.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/destination_folder.h"
#include "platform/folder_names.h"
#include "platform/registry_file.h"
#include "platform/windows/win32_text.h"

namespace ydr::platform {
namespace {

std::mutex g_mutex;
std::unordered_map<int, std::wstring> *g_folders = nullptr;  // guarded by g_mutex
int g_next_folder = 1;

int RememberFolder(std::wstring path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_folders == nullptr) g_folders = new std::unordered_map<int, std::wstring>;
  const int folder = g_next_folder++;
  (*g_folders)[folder] = std::move(path);
  return folder;
}

std::wstring FolderPath(int folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_folders == nullptr) return std::wstring();
  const auto it = g_folders->find(folder);
  return it == g_folders->end() ? std::wstring() : it->second;
}

bool IsDeviceName(const std::string &name) {
  const std::string stem = name.substr(0, name.find('.'));
  for (const char *device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (EqualsIgnoringAsciiCase(stem, device)) return true;
  }
  if (stem.size() == 4 &&
      (EqualsIgnoringAsciiCase(stem.substr(0, 3), "COM") || EqualsIgnoringAsciiCase(stem.substr(0, 3), "LPT"))) {
    return stem[3] >= '0' && stem[3] <= '9';
  }
  return false;
}

bool IsUnusableName(const std::string &name) {
  if (IsBadComponent(name) || name.back() == '.' || name.back() == ' ') return true;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      return true;
    }
  }
  return IsDeviceName(name);
}

std::wstring Join(const std::wstring &folder, const std::string &name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + SystemWide(name);
}

DestinationFolder::EntryKind KindOfPath(const std::wstring &path) {
  using EntryKind = DestinationFolder::EntryKind;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kNothing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::kFolder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::kOther;
  return EntryKind::kRegular;
}

bool MakeFolders(const std::wstring &path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != L'\\' && path[i] != L'/') continue;
    const std::wstring prefix = path.substr(0, i);
    if (prefix.back() == L':' || CreateDirectoryW(prefix.c_str(), nullptr)) continue;
    const DWORD error = GetLastError();
    // A drive's root, or a server's share, cannot be made; whether the rest can is what counts.
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED && error != ERROR_INVALID_NAME) return false;
  }
  return KindOfPath(path) == DestinationFolder::EntryKind::kFolder;
}

}  // namespace

bool DestinationFolder::Open(const std::string &path, bool create, FolderProblem *problem) {
  const std::wstring wide = SystemWide(path);
  if (create && !MakeFolders(wide)) return FailWith(problem, FolderProblem::kSystem, path, LastErrorAsErrno());
  if (KindOfPath(wide) == EntryKind::kNothing) return FailWith(problem, FolderProblem::kSystem, path, ENOENT);
  if ((GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return FailWith(problem, FolderProblem::kSystem, path, ENOTDIR);
  }
  fd_ = RememberFolder(wide);
  return true;
}

DestinationFolder::EntryKind DestinationFolder::KindAt(int folder, const std::string &name) {
  if (IsUnusableName(name)) return IsDeviceName(name) ? EntryKind::kOther : EntryKind::kNothing;
  return KindOfPath(Join(FolderPath(folder), name));
}

int DestinationFolder::OpenChild(int folder, const std::string &name, bool create, const std::string &where,
                                 FolderProblem *problem) {
  if (IsUnusableName(name)) return FailWith(problem, FolderProblem::kBadName, where), -1;
  const std::wstring path = Join(FolderPath(folder), name);
  EntryKind kind = KindOfPath(path);
  if (kind == EntryKind::kNothing && create) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return FailWith(problem, FolderProblem::kSystem, where, LastErrorAsErrno()), -1;
    }
    kind = KindOfPath(path);
  }
  if (kind != EntryKind::kFolder) return FailForKind(kind, FolderProblem::kNotFolder, where, ENOENT, problem), -1;
  return RememberFolder(path);
}

int DestinationFolder::CopyFolder(int folder) {
  std::wstring path = FolderPath(folder);
  if (path.empty()) {
    errno = EBADF;
    return -1;
  }
  return RememberFolder(std::move(path));
}

void DestinationFolder::CloseFolder(int folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_folders != nullptr) g_folders->erase(folder);
}

int DestinationFolder::CreateTemporary(int folder, const std::string &name, std::string *temporary,
                                       FolderProblem *problem) {
  if (IsUnusableName(name)) return FailWith(problem, FolderProblem::kBadName, name), -1;
  const std::wstring folder_path = FolderPath(folder);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = TemporaryNameFor(name);
    // Shared for deletion: an interrupted command deletes it from its console handler's
    // thread while this one may still be writing.
    const HANDLE handle =
        CreateFileW(Join(folder_path, *temporary).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
      if (fd >= 0) return fd;
      CloseHandle(handle);
      DeleteFileW(Join(folder_path, *temporary).c_str());
      return FailWith(problem, FolderProblem::kSystem, name, EMFILE), -1;
    }
    LastErrorAsErrno();
    if (errno != EEXIST) return FailWith(problem, FolderProblem::kSystem, name, errno), -1;
  }
  return FailWith(problem, FolderProblem::kSystem, name, EEXIST), -1;
}

bool DestinationFolder::Commit(int folder, const std::string &temporary, const std::string &name,
                               const Replacing &replacing, FolderProblem *problem) {
  if (IsUnusableName(name)) return FailWith(problem, FolderProblem::kBadName, name);
  const std::wstring folder_path = FolderPath(folder);
  const std::wstring from = Join(folder_path, temporary);
  const std::wstring to = Join(folder_path, name);
  // Without MOVEFILE_REPLACE_EXISTING the move never replaces anything.
  if (MoveFileExW(from.c_str(), to.c_str(), 0)) return true;
  // What is in the way decides (a folder there may give "access denied" rather than "exists").
  const DWORD error = GetLastError();
  const EntryKind kind = KindOfPath(to);
  if (kind != EntryKind::kNothing && kind != EntryKind::kRegular) {
    return FailForKind(kind, FolderProblem::kNotRegular, name, 0, problem);
  }
  if (kind == EntryKind::kNothing || (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)) {
    return FailWith(problem, FolderProblem::kSystem, name, ErrnoFromSystemError(error));
  }
  if (replacing.mode == Replacing::kNothing) return FailWith(problem, FolderProblem::kExists, name);
  if (replacing.mode == Replacing::kOnlyFile) {
    const std::optional<FileIdentity> there = IdentityAt(folder, name);
    if (!there || !(*there == replacing.file)) return FailWith(problem, FolderProblem::kExists, name);
  }
  // The name is replaced; the file it named (and any other link to it) is never written.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return FailWith(problem, FolderProblem::kSystem, name, LastErrorAsErrno());
  }
  return true;
}

std::optional<FileIdentity> DestinationFolder::IdentityAt(int folder, const std::string &name) {
  if (KindAt(folder, name) != EntryKind::kRegular) return std::nullopt;
  return IdentityOfPath(Utf8FromSystemWide(Join(FolderPath(folder), name).c_str()));
}

void DestinationFolder::RemoveTemporary(int folder, const std::string &temporary) {
  DeleteFileW(Join(FolderPath(folder), temporary).c_str());
}

std::wstring DestinationFolder::PathIn(int folder, const std::string &name) { return Join(FolderPath(folder), name); }

}  // namespace ydr::platform
