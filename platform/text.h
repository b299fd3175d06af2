// Text in the system's 8-bit code pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ydr::platform {

// "The system's ANSI code page": the iconv name of the 8-bit encoding that text crossing
// the library's 8-bit interfaces is in. YDR_ANSI_CODEPAGE names it (CP949, ...); otherwise
// the codeset of the user's locale (LC_ALL / LC_CTYPE / LANG), with UTF-8 in place of the
// plain C/POSIX locale's ASCII. The host's own locale settings are not touched. On Windows,
// without YDR_ANSI_CODEPAGE, the system's own ANSI code page (GetACP) as "CPn".
std::string AnsiCodePageName();

// The name for a Windows code-page number: 0 (CP_ACP) and 1 (CP_OEMCP) give the ANSI
// code page, 65001 gives UTF-8, any other number n gives "CPn".
std::string CodePageName(unsigned int code_page);

// Where the characters of a code page other than UTF-8 begin and end: iconv knows it on
// POSIX, the system's lead-byte tables on Windows.
class CodePageCharacters {
 public:
  // An empty name, or one the system does not know, gives an object that is not `known`.
  explicit CodePageCharacters(const std::string &code_page);
  ~CodePageCharacters();
  CodePageCharacters(const CodePageCharacters &) = delete;
  CodePageCharacters &operator=(const CodePageCharacters &) = delete;

  bool known() const;
  // The bytes of the character at the front of `text` (not empty): 1 when the bytes there
  // are not a character at all, so that a stray byte stands alone.
  std::size_t Length(std::string_view text);

 private:
  std::uintptr_t system_;  // iconv's descriptor on POSIX, the code page's number on Windows
};

// 8-bit text as characters of a code page. A double-byte code page (CP949 and its kin) or
// UTF-8 stores one character in several bytes, and a trail byte may look like an ASCII
// letter or a separator; matching byte by byte would let '?' take half a character and
// case folding change a trail byte. Splitting first avoids both.
// One character: a single byte is its own value (0-255); a character of n > 1 bytes is
// n << 32 | its bytes, first byte lowest, so it never equals a single byte.
using AnsiCharacter = std::uint64_t;

// Splits `text` into the characters of the code page named `code_page` (an iconv name). A
// byte that starts no valid character stands alone.
std::vector<AnsiCharacter> SplitAnsiCharacters(std::string_view text, const std::string &code_page);

}  // namespace ydr::platform
