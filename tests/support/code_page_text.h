// UTF-8 test text in another code page, converted by the system (iconv, or Windows' own
// tables), never by the library under test.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstdlib>
#include <string>

namespace ydr::test {

// `code_page` is "UTF-8" or "CPn".
inline std::string ToCodePage(const std::string &utf8, const std::string &code_page) {
#if defined(_WIN32)
  const UINT number = code_page == "UTF-8" ? CP_UTF8 : static_cast<UINT>(std::atoi(code_page.c_str() + 2));
  std::wstring wide(utf8.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                           wide.data(), static_cast<int>(wide.size()))));
  std::string out(wide.size() * 4 + 4, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(number, 0, wide.data(), static_cast<int>(wide.size()),
                                                          out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
#else
  std::string out(utf8.size() * 2 + 4, '\0');
  iconv_t converter = iconv_open(code_page.c_str(), "UTF-8");
  char *in = const_cast<char *>(utf8.data()), *o = out.data();
  std::size_t in_left = utf8.size(), out_left = out.size();
  iconv(converter, &in, &in_left, &o, &out_left);
  iconv_close(converter);
  out.resize(out.size() - out_left);
  return out;
#endif
}

}  // namespace ydr::test
