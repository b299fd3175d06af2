#include "platform/windows/owner_only_security.h"

#include "platform/windows/win32_text.h"

namespace ydr::platform {

OwnerOnlySecurity::OwnerOnlySecurity() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    LastErrorAsErrno();
    return;
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  user_.resize(size);
  const bool have_user = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
  CloseHandle(token);
  if (!have_user) {
    LastErrorAsErrno();
    return;
  }
  PSID sid = reinterpret_cast<TOKEN_USER *>(user_.data())->User.Sid;
  acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
  auto *acl = reinterpret_cast<ACL *>(acl_.data());
  ready_ = InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
           InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  if (!ready_) {
    LastErrorAsErrno();
    return;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
}

}  // namespace ydr::platform
