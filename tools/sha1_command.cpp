// ydr sha1: SHA-1 digests in sha1sum's formats, and checking lists of them, line for line
// and exit code for exit code as sha1sum does (so lists go back and forth between the two).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/text_output.h"
#include "ydr/sha1.h"

namespace ydr::tool {
namespace {

std::string Hex(const unsigned char *bytes, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
  return out;
}

bool IsHex(const std::string &text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

// A name as sha1sum writes it in a line: a backslash and a line break are escaped, and the
// line then starts with a backslash of its own.
std::string Escaped(const std::string &name, bool *escaped) {
  std::string out;
  *escaped = false;
  for (char c : name) {
    if (c == '\\') {
      out += "\\\\";
      *escaped = true;
    } else if (c == '\n') {
      out += "\\n";
      *escaped = true;
    } else {
      out += c;
    }
  }
  return out;
}

bool Unescape(const std::string &text, std::string *name) {
  name->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *name += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    if (text[i] == '\\') {
      *name += '\\';
    } else if (text[i] == 'n') {
      *name += '\n';
    } else {
      return false;
    }
  }
  return true;
}

// The digest of a whole input, or false with the reason.
bool DigestOf(const std::string &path, std::string *hex, std::string *error) {
  Input in;
  if (!in.Open(path)) {
    *error = in.error();
    return false;
  }
  YDR_SHA1_ALG_INFO info;
  YDR_SHA1_Init(&info);
  std::vector<unsigned char> buffer(1 << 16);
  long got;
  while ((got = in.Read(buffer.data(), buffer.size())) > 0) {
    YDR_SHA1_Update(&info, buffer.data(), static_cast<unsigned>(got));
  }
  if (got < 0) {
    *error = in.error();
    return false;
  }
  unsigned char digest[20];
  YDR_SHA1_Final(&info, digest);
  *hex = Hex(digest, 20);
  return true;
}

int PrintDigests(const ParsedOptions &options) {
  std::vector<std::string> files = options.operands();
  if (files.empty()) files.push_back("-");
  const bool tag = options.Has("tag");
  const char mark = options.Has("binary") ? '*' : ' ';
  int status = kExitOk;
  for (const std::string &file : files) {
    std::string hex, error;
    if (!DigestOf(file, &hex, &error)) {
      status = Complain(kExitFailure, Printable(file) + ": " + error);
      continue;
    }
    bool escaped;
    const std::string name = Escaped(file, &escaped);
    const std::string line = tag ? (escaped ? "\\" : "") + std::string("SHA1 (") + name + ") = " + hex
                                 : (escaped ? "\\" : "") + hex + " " + mark + name;
    if (!PrintLine(line)) return Complain(kExitFailure, "cannot write to standard output");
  }
  if (!FlushOutput()) return Complain(kExitFailure, "cannot write to standard output");
  return status;
}

// One line of a list: its digest and name, in either format; false when it is neither.
bool ParseListLine(std::string line, std::string *hex, std::string *name) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  bool escaped = false;
  if (!line.empty() && line[0] == '\\') {
    escaped = true;
    line.erase(0, 1);
  }
  std::string raw;
  if (line.rfind("SHA1 (", 0) == 0) {
    const std::size_t close = line.rfind(") = ");
    if (close == std::string::npos || close < 6) return false;
    raw = line.substr(6, close - 6);
    *hex = line.substr(close + 4);
  } else {
    if (line.size() < 43 || (line[41] != ' ' && line[41] != '*') || line[40] != ' ') return false;
    *hex = line.substr(0, 40);
    raw = line.substr(42);
  }
  if (hex->size() != 40 || !IsHex(*hex) || raw.empty()) return false;
  *hex = Lower(*hex);
  if (!escaped) {
    *name = raw;
    return true;
  }
  return Unescape(raw, name);
}

// The lines of a list, one at a time, whatever its size. A line longer than any digest line
// can be (a digest and a name of the longest path, escaped) is passed over without being
// kept, and reported as too long, so an endless line costs no memory.
class LineReader {
 public:
  static constexpr std::size_t kMaxLine = 64 * 1024;

  explicit LineReader(Input &in) : in_(in) {}

  // The next line without its line feed; false at the end or when reading fails.
  bool Next(std::string *line, bool *too_long) {
    line->clear();
    *too_long = false;
    bool any = false;
    for (;;) {
      if (position_ == length_) {
        const long got = in_.Read(chunk_, sizeof chunk_);
        if (got <= 0) return any && got == 0;
        length_ = static_cast<std::size_t>(got);
        position_ = 0;
      }
      any = true;
      const char *start = chunk_ + position_;
      const char *end = static_cast<const char *>(std::memchr(start, '\n', length_ - position_));
      const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - start) : length_ - position_;
      if (!*too_long && line->size() + n <= kMaxLine) {
        line->append(start, n);
      } else if (!*too_long) {
        *too_long = true;
        line->clear();
        line->shrink_to_fit();
      }
      position_ += n;
      if (end != nullptr) {
        ++position_;
        return true;
      }
    }
  }

 private:
  Input &in_;
  char chunk_[4096];
  std::size_t position_ = 0, length_ = 0;
};

int CheckLists(const ParsedOptions &options) {
  const bool quiet = options.Has("quiet"), status_only = options.Has("status"), warn = options.Has("warn"),
             strict = options.Has("strict"), ignore_missing = options.Has("ignore-missing");
  std::vector<std::string> lists = options.operands();
  if (lists.empty()) lists.push_back("-");
  int result = kExitOk;
  bool written = true;
  for (const std::string &list_path : lists) {
    Input list;
    if (!list.Open(list_path)) {
      result = Complain(kExitFailure, Printable(list_path) + ": " + list.error());
      continue;
    }
    LineReader lines(list);
    std::string line;
    bool too_long = false;
    int malformed = 0, failed = 0, unreadable = 0, good_lines = 0, line_number = 0, matched = 0;
    while (lines.Next(&line, &too_long)) {
      ++line_number;
      std::string expected, name;
      if (too_long || !ParseListLine(line, &expected, &name)) {
        ++malformed;
        if (warn) {
          Note("ydr: %s: %d: improperly formatted SHA1 checksum line\n", Printable(list.name()).c_str(), line_number);
        }
        continue;
      }
      ++good_lines;
      std::string actual, error;
      const bool read = DigestOf(name, &actual, &error);
      if (!read && ignore_missing && error == "No such file or directory") continue;
      bool escaped_name = false;
      std::string shown = Escaped(name, &escaped_name);
      // In the report, only a name with a line break is escaped (as sha1sum does).
      shown = name.find('\n') != std::string::npos ? "\\" + shown : name;
      const char *verdict = !read ? "FAILED open or read" : actual != expected ? "FAILED" : "OK";
      if (!read) {
        ++unreadable;
        if (!status_only) Complain(kExitFailure, Printable(name) + ": " + error);
      } else if (actual != expected) {
        ++failed;
      } else {
        ++matched;
      }
      if (!status_only && !(quiet && read && actual == expected))
        written = PrintLine(shown + ": " + verdict) && written;
    }
    if (list.failed()) {
      result = Complain(kExitFailure, Printable(list.name()) + ": " + list.error());
      continue;
    }
    if (good_lines == 0) {
      result = Complain(kExitFailure, Printable(list.name()) + ": no properly formatted checksum lines found");
      continue;
    }
    if (!status_only) {
      const auto warning = [](int n, const char *one, const char *many) {
        if (n > 0) Note("ydr: WARNING: %d %s\n", n, n == 1 ? one : many);
      };
      warning(malformed, "line is improperly formatted", "lines are improperly formatted");
      warning(unreadable, "listed file could not be read", "listed files could not be read");
      warning(failed, "computed checksum did NOT match", "computed checksums did NOT match");
    }
    if (ignore_missing && matched == 0 && failed == 0 && unreadable == 0) {
      result = Complain(kExitFailure, Printable(list.name()) + ": no file was verified");
    }
    if (failed > 0 || unreadable > 0 || (strict && malformed > 0)) result = kExitFailure;
  }
  if (!written || !FlushOutput()) return Complain(kExitFailure, "cannot write to standard output");
  return result;
}

int RunSha1(const ParsedOptions &options) {
  if (!options.Has("check")) {
    for (const char *only_with_check : {"quiet", "status", "strict", "warn", "ignore-missing"}) {
      if (options.Has(only_with_check)) {
        return Complain(kExitUsage, std::string("--") + only_with_check + " is meaningful only when checking (-c)");
      }
    }
    return PrintDigests(options);
  }
  if (options.Has("tag")) return Complain(kExitUsage, "--tag is meaningless when checking");
  return CheckLists(options);
}

}  // namespace

extern const Command kSha1Command = {
    "sha1",
    "print or check SHA-1 digests, in sha1sum's formats",
    "usage: ydr sha1 [-b] [--tag] [FILE]...\n"
    "       ydr sha1 -c [--quiet | --status] [--strict] [--warn] [--ignore-missing] [LIST]...\n",
    "Prints the SHA-1 digest of each FILE (standard input for none or '-'), or checks the\n"
    "digests listed in each LIST, as sha1sum does: the same lines ('<digest>  <name>', or\n"
    "'SHA1 (<name>) = <digest>' with --tag; a name holding a backslash or a line break is\n"
    "escaped and its line starts with a backslash), the same reports and exit status.\n"
    "\n"
    "  -b, --binary          mark names with '*' (binary mode; the digest is the same)\n"
    "  -t, --text            mark names with ' ' (the default)\n"
    "      --tag             BSD-style lines\n"
    "  -c, --check           read digests from the LISTs and check them\n"
    "      --quiet           with -c: say nothing for files that are OK\n"
    "      --status          with -c: say nothing at all; the exit status tells\n"
    "      --strict          with -c: exit 1 when a line is not a digest line\n"
    "  -w, --warn            with -c: warn about each line that is not a digest line\n"
    "      --ignore-missing  with -c: pass over listed files that do not exist\n"
    "\n"
    "Exit status 1 when a digest does not match, a file cannot be read, or (with --strict) a\n"
    "line is not a digest line.\n",
    {{"binary", 'b', false},
     {"text", 't', false},
     {"tag", 0, false},
     {"check", 'c', false},
     {"quiet", 0, false},
     {"status", 0, false},
     {"strict", 0, false},
     {"warn", 'w', false},
     {"ignore-missing", 0, false}},
    false,
    RunSha1,
};

}  // namespace ydr::tool
