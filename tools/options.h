// Options as users of gzip, zip and openssl write them: `--name=value` and `--name value`,
// bundled short flags (`-dt`), a short option's value attached or apart (`-K00ff`, `-K 00ff`),
// options before or after operands, and `--` to end them. Anything not declared is a usage
// error: it never becomes a file name.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/command.h"

namespace ydr::tool {

class ParsedOptions {
 public:
  bool Has(const std::string &name) const { return values_.count(name) != 0; }
  // The last value given (options given twice: the later wins, as usual).
  const std::string &Value(const std::string &name) const { return values_.at(name).back(); }
  std::string ValueOr(const std::string &name, const std::string &fallback) const {
    return Has(name) ? Value(name) : fallback;
  }
  std::size_t Count(const std::string &name) const { return Has(name) ? values_.at(name).size() : 0; }
  const std::vector<std::string> &operands() const { return operands_; }

 private:
  friend int ParseOptions(const std::string &, const Arguments &, const std::vector<OptionSpec> &, bool,
                          ParsedOptions *);
  std::map<std::string, std::vector<std::string>> values_;  // by long name, or the short letter
  std::vector<std::string> operands_;
};

// Parses `args` of command `command`. Options are stored under their long name (or their
// letter when they have none). `negative_numbers`: "-5" is an operand, not an option.
// Returns kExitOk, or kExitUsage after saying what is wrong.
int ParseOptions(const std::string &command, const Arguments &args, const std::vector<OptionSpec> &specs,
                 bool negative_numbers, ParsedOptions *parsed);

}  // namespace ydr::tool
