#include "tools/options.h"

namespace ydr::tool {
namespace {

std::string KeyOf(const OptionSpec &spec) {
  return spec.long_name != nullptr ? spec.long_name : std::string(1, spec.short_name);
}

int Usage(const std::string &command, const std::string &what) {
  return Complain(kExitUsage, what + " (see 'ydr " + command + " --help')");
}

bool IsNegativeNumber(const std::string &arg) {
  return arg.size() > 1 && arg[0] == '-' && arg[1] >= '0' && arg[1] <= '9';
}

}  // namespace

int ParseOptions(const std::string &command, const Arguments &args, const std::vector<OptionSpec> &specs,
                 bool negative_numbers, ParsedOptions *parsed) {
  const auto find_long = [&](const std::string &name) -> const OptionSpec * {
    for (const OptionSpec &spec : specs) {
      if (spec.long_name != nullptr && name == spec.long_name) return &spec;
    }
    return nullptr;
  };
  const auto find_single_dash = [&](const std::string &name) -> const OptionSpec * {
    for (const OptionSpec &spec : specs) {
      for (const std::string &alias : spec.single_dash_names) {
        if (name == alias) return &spec;
      }
    }
    return nullptr;
  };
  const auto find_short = [&](char letter) -> const OptionSpec * {
    for (const OptionSpec &spec : specs) {
      if (spec.short_name == letter) return &spec;
    }
    return nullptr;
  };

  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-' || (negative_numbers && IsNegativeNumber(arg))) {
      parsed->operands_.push_back(arg);  // "-" alone is an operand: standard input or output
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg[1] == '-') {  // --name or --name=value
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      const OptionSpec *spec = find_long(name);
      if (spec == nullptr) return Usage(command, "unknown option '--" + name + "'");
      std::string value;
      if (spec->takes_value) {
        if (eq != std::string::npos) {
          value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          return Usage(command, "--" + name + " needs a value");
        }
      } else if (eq != std::string::npos) {
        return Usage(command, "--" + name + " takes no value");
      }
      parsed->values_[KeyOf(*spec)].push_back(value);
      continue;
    }
    if (const OptionSpec *spec = find_single_dash(arg.substr(1))) {  // -in FILE, as openssl writes it
      std::string value;
      if (spec->takes_value) {
        if (i + 1 == args.size()) return Usage(command, arg + " needs a value");
        value = args[++i];
      }
      parsed->values_[KeyOf(*spec)].push_back(value);
      continue;
    }
    for (std::size_t j = 1; j < arg.size(); ++j) {  // -abc, -Kvalue, -K value
      const OptionSpec *spec = find_short(arg[j]);
      if (spec == nullptr) return Usage(command, std::string("unknown option '-") + arg[j] + "'");
      std::string value;
      if (spec->takes_value) {
        if (j + 1 < arg.size()) {
          value = arg.substr(j + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          return Usage(command, std::string("-") + arg[j] + " needs a value");
        }
        parsed->values_[KeyOf(*spec)].push_back(value);
        break;
      }
      parsed->values_[KeyOf(*spec)].push_back(value);
    }
  }
  return kExitOk;
}

}  // namespace ydr::tool
