// A security descriptor that lets the current user alone at a new file: one access-allowed
// entry for the user's SID, and protected, so that nothing is inherited from the folder.
// The counterpart of POSIX's mode 0600 (which Windows' C runtime ignores).
#pragma once

#include <windows.h>

#include <vector>

namespace ydr::platform {

class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity();
  OwnerOnlySecurity(const OwnerOnlySecurity &) = delete;
  OwnerOnlySecurity &operator=(const OwnerOnlySecurity &) = delete;

  // For CreateFileW; null when the descriptor could not be made (LastErrorAsErrno set errno).
  SECURITY_ATTRIBUTES *attributes() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<unsigned char> user_;  // the token's TOKEN_USER, which holds the SID
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ready_ = false;
};

}  // namespace ydr::platform
