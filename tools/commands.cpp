// The table of subcommands.
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/options.h"

namespace ydr::tool {

extern const Command kPackCommand, kUnpackCommand, kListCommand, kTestCommand, kGzCommand, kSha1Command, kSeedCommand,
    kRsaCommand, kVenCommand, kNumstrCommand, kSendCommand;

const std::vector<const Command *> &Commands() {
  static const std::vector<const Command *> commands = {
      &kPackCommand, &kUnpackCommand, &kListCommand, &kTestCommand,   &kGzCommand,   &kSha1Command,
      &kSeedCommand, &kRsaCommand,    &kVenCommand,  &kNumstrCommand, &kSendCommand,
  };
  return commands;
}

const Command *FindCommand(const std::string &name) {
  for (const Command *command : Commands()) {
    if (name == command->name) return command;
  }
  return nullptr;
}

}  // namespace ydr::tool
