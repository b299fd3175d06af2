// ydr: the library's services on the command line.
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "tools/command.h"
#include "tools/help.h"
#include "tools/options.h"
#include "tools/process_setup.h"
#include "ydr/ydr.h"

namespace ydr::tool {

int Complain(int status, const std::string &message) {
  Note("ydr: %s\n", message.c_str());
  return status;
}

bool Failed(const std::string &message) {
  Complain(kExitFailure, message);
  return false;
}

void Note(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  static_cast<void>(std::vfprintf(stderr, format, arguments));
  va_end(arguments);
}

namespace {

// `--help` anywhere before `--` asks for the command's usage instead of running it.
bool AsksForHelp(const Arguments &args) {
  for (const std::string &arg : args) {
    if (arg == "--") return false;
    if (arg == "--help") return true;
  }
  return false;
}

int Run(const Command &command, const Arguments &args) {
  if (AsksForHelp(args)) return PrintUsage(command);
  ParsedOptions options;
  if (const int status = ParseOptions(command.name, args, command.options, command.negative_numbers, &options);
      status != kExitOk) {
    return status;
  }
  return command.run(options);
}

}  // namespace
}  // namespace ydr::tool

namespace {

int RunCommandLine(int argc, char **argv) {
  using namespace ydr::tool;
  const std::vector<std::string> arguments = PrepareProcess(argc, argv);
  if (arguments.size() < 2) {
    PrintOverview(stderr);
    return kExitUsage;
  }
  const std::string &name = arguments[1];
  const Arguments args(arguments.begin() + 2, arguments.end());
  if (name == "help" || name == "--help" || name == "-h") return Help(args);
  if (name == "--version") return PrintVersion();
  if (const Command *command = FindCommand(name)) return Run(*command, args);
  Complain(kExitUsage, "unknown command '" + name + "'");
  PrintOverview(stderr);
  return kExitUsage;
}

}  // namespace

// No command ends by an exception: one that escapes (memory running out above all) is said
// and ends the run with status 1, after the outputs being written have removed their
// temporary files on the way out.
int main(int argc, char **argv) {
  _LoadYdrBM70DLL();
  try {
    return RunCommandLine(argc, argv);
  } catch (const std::bad_alloc &) {
    ydr::tool::Note("ydr: out of memory\n");
  } catch (const std::exception &error) {
    ydr::tool::Note("ydr: %s\n", error.what());
  } catch (...) {
    ydr::tool::Note("ydr: an unexpected failure\n");
  }
  return ydr::tool::kExitFailure;
}
