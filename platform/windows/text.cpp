// Text in the system's 8-bit code pages, on Windows.
#include "platform/text.h"

#include <windows.h>

#include <cstdlib>

#include "platform/registry_file.h"
#include "platform/windows/code_page_number.h"

namespace ydr::platform {

std::string AnsiCodePageName() {
  const char *configured = std::getenv("YDR_ANSI_CODEPAGE");
  if (configured != nullptr && configured[0] != '\0') return configured;
  const UINT code_page = GetACP();
  return code_page == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(code_page);
}

CodePageCharacters::CodePageCharacters(const std::string &code_page)
    : system_(code_page.empty() ? 0 : CodePageNumber(code_page)) {}

CodePageCharacters::~CodePageCharacters() = default;

bool CodePageCharacters::known() const { return system_ != 0; }

// Double-byte code pages mark their lead bytes; every other character is one byte.
std::size_t CodePageCharacters::Length(std::string_view text) {
  const auto lead = static_cast<BYTE>(text[0]);
  return text.size() >= 2 && IsDBCSLeadByteEx(static_cast<UINT>(system_), lead) ? 2 : 1;
}

unsigned int CodePageNumber(const std::string &name) {
  if (EqualsIgnoringAsciiCase(name, "UTF-8") || EqualsIgnoringAsciiCase(name, "UTF8")) return CP_UTF8;
  std::size_t at = 0;
  if (name.size() > 2 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'P' || name[1] == 'p')) at = 2;
  if (at == name.size()) return 0;
  unsigned long number = 0;
  for (; at < name.size(); ++at) {
    if (name[at] < '0' || name[at] > '9' || number > 65535) return 0;
    number = number * 10 + static_cast<unsigned long>(name[at] - '0');
  }
  return number != 0 && number <= 65535 && IsValidCodePage(static_cast<UINT>(number))
             ? static_cast<unsigned int>(number)
             : 0;
}

}  // namespace ydr::platform
