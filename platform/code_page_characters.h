// Where the characters of a code page other than UTF-8 begin and end: iconv knows it on
// POSIX, the system's lead-byte tables on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ydr::platform {

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

}  // namespace ydr::platform
