#include "platform/code_page_characters.h"

#include <windows.h>

#include "platform/windows/code_page_number.h"

namespace ydr::platform {

CodePageCharacters::CodePageCharacters(const std::string &code_page)
    : system_(code_page.empty() ? 0 : CodePageNumber(code_page)) {}

CodePageCharacters::~CodePageCharacters() = default;

bool CodePageCharacters::known() const { return system_ != 0; }

// Double-byte code pages mark their lead bytes; every other character is one byte.
std::size_t CodePageCharacters::Length(std::string_view text) {
  const auto lead = static_cast<BYTE>(text[0]);
  return text.size() >= 2 && IsDBCSLeadByteEx(static_cast<UINT>(system_), lead) ? 2 : 1;
}

}  // namespace ydr::platform
