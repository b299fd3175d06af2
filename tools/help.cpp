#include "tools/help.h"

#include <string>

#include "tools/options.h"
#include "tools/text_output.h"

namespace ydr::tool {
namespace {

std::string Overview() {
  std::string text =
      "usage: ydr COMMAND [OPTION]... [ARGUMENT]...\n"
      "\n"
      "commands:\n";
  for (const Command *command : Commands()) {
    std::string name = command->name;
    name.resize(8, ' ');
    text += "  " + name + command->summary + "\n";
  }
  text +=
      "\n"
      "'ydr help COMMAND' or 'ydr COMMAND --help' shows a command's options.\n"
      "Exit status: 0 on success, 1 when the work fails, 2 on bad usage.\n";
  return text;
}

std::string Usage(const Command &command) { return std::string(command.synopsis) + "\n" + command.details; }

bool Write(const std::string &text, std::FILE *to) {
  return std::fwrite(text.data(), 1, text.size(), to) == text.size() && std::fflush(to) == 0;
}

// troff with its special characters escaped: backslashes, and a dot or quote starting a line.
std::string Roff(const std::string &text) {
  std::string out;
  bool line_start = true;
  for (char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    line_start = c == '\n';
  }
  return out;
}

// The manual page's examples: each command runs as written in a folder holding a folder
// docs, a file report.txt and a password file pw (the tests run them so).
struct Example {
  const char *command;
  const char *what;
};

constexpr Example kExamples[] = {
    {"ydr pack docs.ydz docs", "Packs the folder docs and everything below it into docs.ydz."},
    {"ydr list docs.ydz", "Lists the members with their sizes; names are shown with '/'."},
    {"ydr unpack --only 'docs/*.txt' docs.ydz out",
     "Unpacks the .txt files below docs, at any depth, into the folder out ('/' and '\\' alike)."},
    {"ydr gz report.txt", "Writes report.txt.ydgz and keeps report.txt."},
    {"ydr gz -dc report.txt.ydgz", "Writes the original text to standard output."},
    {"ydr sha1 report.txt > sums && ydr sha1 -c sums", "Records the file's digest, then checks the file against it."},
    {"ydr seed enc --mode cbc --key 00112233445566778899aabbccddeeff --iv 0f0e0d0c0b0a09080706050403020100 "
     "report.txt report.seed",
     "Encrypts with SEED in CBC mode (the same words decrypt, with dec)."},
    {"ydr ven enc --kind 4 --password-file pw report.txt report.ven",
     "Encrypts under the password in the file pw (AES-128)."},
    {"ydr numstr --open '(' --close ')' latin-lower 28", "Prints (ab)."},
};

std::string ManualPage() {
  std::string page = ".TH YDR 1 \"\" \"ydr " YDR_VERSION
                     "\" \"User Commands\"\n"
                     ".SH NAME\n"
                     "ydr \\- archives, stream compression, ciphers, digests and list labels\n"
                     ".SH SYNOPSIS\n"
                     ".B ydr\n"
                     ".I command\n"
                     "[\\fIoption\\fR]... [\\fIargument\\fR]...\n"
                     ".SH DESCRIPTION\n"
                     ".nf\n" +
                     Roff(Overview()) +
                     ".fi\n"
                     ".SH COMMANDS\n";
  for (const Command *command : Commands()) {
    page += ".SS " + std::string(command->name) + "\n.nf\n" + Roff(Usage(*command)) + ".fi\n";
  }
  page +=
      ".SH ENVIRONMENT\n"
      ".TP\n.B YDR_ANSI_CODEPAGE\nthe 8\\-bit code page of text sent by \\fBsend\\fR (an iconv name such as CP949)\n"
      ".TP\n.B YDR_DISABLE_CPU_FEATURES\nset to 1: the portable code runs instead of the CPU\\-specific fast paths\n"
      ".SH EXIT STATUS\n0 on success, 1 when the work fails, 2 on bad usage.\n"
      ".SH EXAMPLES\n";
  for (const Example &example : kExamples) {
    page += ".TP\n\\fB" + Roff(example.command) + "\\fR\n" + Roff(example.what) + "\n";
  }
  page +=
      ".SH SEE ALSO\n"
      "\\fBgzip\\fR(1), \\fBzip\\fR(1), \\fBunzip\\fR(1), \\fBsha1sum\\fR(1), \\fBopenssl\\-enc\\fR(1), "
      "\\fBopenssl\\-genpkey\\fR(1)\n"
      ".PP\n"
      "The library's own documents, installed in share/doc/YdrBM70 below the prefix: \\fBformats.md\\fR (the "
      "stream and archive formats, member names, patterns) and \\fBusing.md\\fR (using the library from a "
      "program).\n";
  return page;
}

// The completion: commands; each command's options; the values of the options that take
// a fixed set (--mode ecb|cbc|..., --kind, --level), given as `--opt value` or `--opt=value`
// (bash makes the '=' a word of its own); the words a command's first operand takes (enc,
// dec; numstr's style names); files otherwise.
std::string BashCompletion() {
  std::string commands, cases;
  for (const Command *command : Commands()) {
    commands += std::string(commands.empty() ? "" : " ") + command->name;
    std::string words = "--help", valued, values;
    for (const OptionSpec &option : command->options) {
      std::string spellings;
      if (option.long_name != nullptr) spellings += std::string(" --") + option.long_name;
      if (option.short_name != 0) spellings += std::string(" -") + option.short_name;
      words += spellings;
      if (!option.takes_value) continue;
      valued += spellings;
      for (const std::string &name : option.single_dash_names) valued += " -" + name;
      if (option.values != nullptr) {
        std::string patterns = spellings.substr(1);
        for (char &c : patterns) c = c == ' ' ? '|' : c;
        values += "        " + patterns + ") values=\"" + option.values + "\" ;;\n";
      }
    }
    cases += "    " + std::string(command->name) + ")\n      options=\"" + words + "\" valued=\"" +
             (valued.empty() ? "" : valued.substr(1)) + "\" words=\"" + command->first_operand_words + "\"\n";
    if (!values.empty()) cases += "      case $previous in\n" + values + "      esac\n";
    cases += "      ;;\n";
  }
  return "# bash completion for ydr (generated by 'ydr help --bash-completion')\n"
         "_ydr() {\n"
         "  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  local options=\"\" valued=\"\" words=\"\" values=\"\"\n"
         "  if [[ $COMP_CWORD -eq 1 ]]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         commands +
         " help --version\" -- \"$current\"))\n"
         "    return\n"
         "  fi\n"
         "  # --opt=value: bash splits it into --opt, = and value.\n"
         "  if [[ $current == = ]]; then\n"
         "    current=\"\"\n"
         "  elif [[ $previous == = && $COMP_CWORD -ge 3 ]]; then\n"
         "    previous=${COMP_WORDS[COMP_CWORD-2]}\n"
         "  fi\n"
         "  case ${COMP_WORDS[1]} in\n" +
         cases + "    help) COMPREPLY=($(compgen -W \"" + commands +
         "\" -- \"$current\")); return ;;\n"
         "  esac\n"
         "  if [[ -n $values ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$values\" -- \"$current\"))\n"
         "    return\n"
         "  fi\n"
         "  if [[ $current == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$current\"))\n"
         "    return\n"
         "  fi\n"
         "  # The first operand has words of its own: count the operands before this one, leaving\n"
         "  # out options and their values.\n"
         "  if [[ -n $words ]]; then\n"
         "    local i operands=0\n"
         "    for ((i = 2; i < COMP_CWORD; i++)); do\n"
         "      case ${COMP_WORDS[i]} in -*|=) continue ;; esac\n"
         "      [[ ${COMP_WORDS[i-1]} == = || \" $valued \" == *\" ${COMP_WORDS[i-1]} \"* ]] && continue\n"
         "      operands=$((operands + 1))\n"
         "    done\n"
         "    if [[ $operands -eq 0 ]]; then\n"
         "      COMPREPLY=($(compgen -W \"$words\" -- \"$current\"))\n"
         "      return\n"
         "    fi\n"
         "  fi\n"
         "  COMPREPLY=($(compgen -f -- \"$current\"))\n"
         "}\n"
         "complete -o filenames -F _ydr ydr\n";
}

int Emit(const std::string &text) {
  return Write(text, stdout) ? kExitOk : Complain(kExitFailure, "cannot write to standard output");
}

}  // namespace

void PrintOverview(std::FILE *to) { static_cast<void>(Write(Overview(), to)); }

int PrintUsage(const Command &command) { return Emit(Usage(command)); }

int PrintVersion() { return Emit("ydr " YDR_VERSION "\n"); }

int Help(const Arguments &args) {
  if (args.empty()) return Emit(Overview());
  if (args.size() != 1) return Complain(kExitUsage, "help takes one command");
  if (args[0] == "--man") return Emit(ManualPage());
  if (args[0] == "--bash-completion") return Emit(BashCompletion());
  const Command *command = FindCommand(args[0]);
  if (command == nullptr) return Complain(kExitUsage, "no such command: " + args[0]);
  return PrintUsage(*command);
}

}  // namespace ydr::tool
