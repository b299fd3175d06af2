// `ydr rsa` where the command is built without libcrypto (a target for which the machine
// has no libcrypto to link, such as 32-bit x86 here): the command is listed, and says why
// it cannot run. The library's RSA exports are unaffected: they load libcrypto themselves.
#include "tools/command.h"

namespace ydr::tool {
namespace {

int RunRsa(const ParsedOptions &) {
  return Complain(kExitFailure, "rsa: this ydr was built without libcrypto, which reads and makes its key files");
}

}  // namespace

extern const Command kRsaCommand = {
    "rsa",
    "RSA on one block (not in this build: it was made without libcrypto)",
    "usage: ydr rsa ...\n",
    "This ydr was built for a target without libcrypto; its rsa command is not available.\n",
    {},
    false,
    RunRsa,
};

}  // namespace ydr::tool
