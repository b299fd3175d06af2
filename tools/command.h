// The ydr command's subcommands and the conventions they share: exit status 0 on success,
// 1 when the work fails, 2 on bad usage (and for gz's warnings, as gzip has it); every message on standard error begins
// "ydr:" and names the file it is about, with the system's reason.
#pragma once

#include <string>
#include <vector>

namespace ydr::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// gz, as gzip: the work was done but something deserved a warning (trailing garbage).
inline constexpr int kExitWarning = 2;

using Arguments = std::vector<std::string>;

// One option of a subcommand (parsed by tools/options.h).
struct OptionSpec {
  const char *long_name;  // without "--"; null for a short-only option
  char short_name;        // 0 for a long-only option
  bool takes_value;
  // Extra one-dash spellings, as other tools write them ("in" for openssl's -in).
  std::vector<std::string> single_dash_names = {};
  // The values it takes, blank-separated, for shell completion (null: any value, or a file).
  const char *values = nullptr;
};

class ParsedOptions;

// One subcommand: its options are parsed before `run` sees them (tools/options.h), and its
// usage text is what `ydr help NAME`, `ydr NAME --help`, the manual page and the shell
// completion all show.
struct Command {
  const char *name;
  const char *summary;   // one line, for `ydr help`
  const char *synopsis;  // "ydr gz [OPTION]... [FILE]..." lines
  const char *details;   // the rest of the usage text
  std::vector<OptionSpec> options;
  bool negative_numbers;  // "-5" is an operand
  int (*run)(const ParsedOptions &options);
  // The words the first operand takes, blank-separated, for shell completion (empty: files).
  std::string first_operand_words = {};
};

// Every subcommand, in the order `ydr help` lists them.
const std::vector<const Command *> &Commands();
const Command *FindCommand(const std::string &name);

// Prints "ydr: <message>" on standard error and returns `status`.
int Complain(int status, const std::string &message);
// The same for work that failed, where a step reports with a bool: returns false.
bool Failed(const std::string &message);

// Writes to standard error, where the command reports; a line that cannot be written there
// has nowhere else to go, so its result is not looked at.
#if defined(_WIN32)
// The C99 formats (%zu, %llu) of the runtime's own printf family (__USE_MINGW_ANSI_STDIO).
void Note(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
void Note(const char *format, ...) __attribute__((format(printf, 1, 2)));
#endif

}  // namespace ydr::tool
