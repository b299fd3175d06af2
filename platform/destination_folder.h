// A folder that unpacking writes into, held open, below which folders are
// made and files written without ever following a symbolic link or touching anything but a
// regular file or a folder. What is already in the folder (planted links to elsewhere, a
// pipe in place of a file) can then neither redirect a write outside it nor block it.
//
// Paths below the folder are lists of components (UTF-8 file names); "", "." and ".." are
// refused, so the caller folds a stored name first. The folder itself is opened as the
// caller named it: a link the user chose as the destination is followed.
//
// On POSIX a folder is an open descriptor and every name is looked up relative to it
// without following links. Windows has no such lookup in its C interface: there a folder is
// a number for its path, and each name is checked for links and reparse points just before
// it is used (platform/windows/folder_access.cpp says what that leaves open).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/files.h"

namespace ydr::platform {

struct FolderProblem {
  enum Kind {
    kNone,
    kLink,        // a symbolic link is where a folder or file must go
    kNotFolder,   // a file (or a pipe, device, ...) is where a folder must go
    kNotRegular,  // a folder, pipe, socket or device is where a file must go
    kBadName,     // an empty, "." or ".." component
    kExists,      // a file is where a new one must go, and it may not be replaced
    kSystem,      // the system refused; `error` says why
  };
  Kind kind = kNone;
  int error = 0;          // errno for kSystem
  std::string component;  // the path below the folder where it happened
  std::string Describe() const;
};

class DestinationFolder {
 public:
  DestinationFolder() = default;
  ~DestinationFolder();
  DestinationFolder(const DestinationFolder &) = delete;
  DestinationFolder &operator=(const DestinationFolder &) = delete;

  // Opens the folder, making it and its parents first when `create` is set.
  bool Open(const std::string &path, bool create, FolderProblem *problem);
  int descriptor() const { return fd_; }

  // Opens the folder `components` below this one, making each missing folder on the way.
  // Returns a folder the caller closes (CloseFolder), or -1. No components: a copy of this one.
  int OpenFolder(const std::vector<std::string> &components, FolderProblem *problem) const;

  // Whether anything (of any type, links not followed) is at `components` below this
  // folder; nothing is made on the way.
  bool Holds(const std::vector<std::string> &components) const;

  // The calls below take a folder from OpenFolder or a FolderCache ("folder") and one name
  // in it. The files they give are C runtime descriptors, written with write() and closed
  // with close().

  // Creates a new, empty file with a temporary name beside `name` in `folder`; the name
  // goes to *temporary. Returns the descriptor, or -1.
  static int CreateTemporary(int folder, const std::string &name, std::string *temporary, FolderProblem *problem);
  // What Commit may replace at the name it moves a file to.
  struct Replacing {
    enum Mode {
      kNothing,         // only a new name is taken; anything there fails with kExists
      kAnyRegularFile,  // a regular file there is replaced
      kOnlyFile,        // only the regular file `file` (as found before); any other fails with kExists
    };
    Mode mode = kNothing;
    FileIdentity file;
  };
  // Moves the temporary file onto `name`, which must be new or, as `replacing` allows, a
  // regular file (then replaced as one step: its name points to the new file, and the old
  // file itself, with any other name it has, is never written). A link, folder, pipe or
  // device there is never replaced. The move is first tried as one that never replaces, so
  // a name someone else takes meanwhile is never lost. On refusal the temporary file stays;
  // the caller removes it.
  static bool Commit(int folder, const std::string &temporary, const std::string &name, const Replacing &replacing,
                     FolderProblem *problem);
  // The identity of the regular file at `name` in `folder` (links not followed), or none.
  static std::optional<FileIdentity> IdentityAt(int folder, const std::string &name);
  // Removes a temporary file that is not to be committed.
  static void RemoveTemporary(int folder, const std::string &temporary);

  // What is at `name` in `folder`, links not followed.
  enum class EntryKind { kNothing, kFolder, kRegular, kLink, kOther };
  static EntryKind KindAt(int folder, const std::string &name);
  // Opens the folder `name` in `folder`, making it first when it is missing and `create` is
  // set; `where` names it in a problem. Returns a folder the caller closes, or -1.
  static int OpenChild(int folder, const std::string &name, bool create, const std::string &where,
                       FolderProblem *problem);
  static int CopyFolder(int folder);
  static void CloseFolder(int folder);
#if defined(_WIN32)
  // The whole path of `name` in `folder`, for a record that outlives the call (the
  // command's list of temporary files to remove when it is interrupted).
  static std::wstring PathIn(int folder, const std::string &name);
#endif

 private:
  int fd_ = -1;  // a folder as the calls below take it
};

// Descriptors of the folders below a destination, each opened (and made, when asked) once
// and then reused, so that unpacking many files into few folders does not walk every file's
// path again: a folder is reached from its cached parent with one call. At most `capacity`
// stay open, the least recently used closed first; when the process runs out of
// descriptors, the cache closes what it holds and tries once more. A folder found missing while only
// looking is remembered as missing until this cache makes or finds it.
class FolderCache {
 public:
  explicit FolderCache(const DestinationFolder &dest, std::size_t capacity = 64) : dest_(dest), capacity_(capacity) {}
  ~FolderCache();
  FolderCache(const FolderCache &) = delete;
  FolderCache &operator=(const FolderCache &) = delete;

  // The folder at `components` below the destination, made when missing if `create`, or -1.
  // The descriptor stays the cache's, valid until the next call.
  int Get(const std::vector<std::string> &components, bool create, FolderProblem *problem);
  // Whether anything (links not followed) is at `components`, or with `files_only` a regular
  // file (one that --keep may leave as it is: a folder, link or pipe in a file's place is
  // not); nothing is made on the way.
  bool Holds(const std::vector<std::string> &components, bool files_only = false);
  // DestinationFolder::CreateTemporary in `folder` (one of this cache's), giving back the
  // other cached folders and trying once more when the process has run out of descriptors.
  int CreateTemporary(int folder, const std::string &name, std::string *temporary, FolderProblem *problem);

 private:
  struct Entry {
    int fd;
    std::uint64_t used;
  };
  int Lookup(const std::string &key);
  void Keep(const std::string &key, int fd);
  // Closes every cached folder but `keep` (one the caller still uses; -1 for none).
  void Trim(int keep);

  const DestinationFolder &dest_;
  const std::size_t capacity_;
  std::unordered_map<std::string, Entry> open_;
  std::unordered_set<std::string> missing_;
  std::uint64_t clock_ = 0;
};

// Splits a path below a folder at '/' and '\', leaving out empty and "." components.
std::vector<std::string> PathComponents(const std::string &path);

}  // namespace ydr::platform
