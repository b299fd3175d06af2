// "The system's ANSI code page": the iconv name of the 8-bit encoding that text crossing
// the library's 8-bit interfaces is in. YDR_ANSI_CODEPAGE names it (CP949, ...); otherwise
// the codeset of the user's locale (LC_ALL / LC_CTYPE / LANG), with UTF-8 in place of the
// plain C/POSIX locale's ASCII. The host's own locale settings are not touched. On Windows,
// without YDR_ANSI_CODEPAGE, the system's own ANSI code page (GetACP) as "CPn".
#pragma once

#include <string>

namespace ydr::platform {

std::string AnsiCodePageName();

// The name for a Windows code-page number: 0 (CP_ACP) and 1 (CP_OEMCP) give the ANSI
// code page, 65001 gives UTF-8, any other number n gives "CPn".
std::string CodePageName(unsigned int code_page);

}  // namespace ydr::platform
