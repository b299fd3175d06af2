// Programs run with CreateProcessW: arguments quoted as the C runtime splits them, the
// environment merged into a block of the test's own, standard streams on pipes drained by
// threads of their own while the input is fed.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "tests/support/run_process.h"

#include <gtest/gtest.h>

namespace ydr::test {
namespace {

std::wstring Wide(const std::string &utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// One argument as the runtime's parser reads it back: quotes around it when it has blanks or
// quotes, each quote escaped, and the backslashes before a quote doubled.
void AppendQuoted(const std::wstring &argument, std::wstring *line) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    *line += argument;
    return;
  }
  *line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, L'\\');
  *line += L'"';
}

// The test's own environment with `env` applied, sorted as Windows keeps it.
std::wstring EnvironmentBlock(const std::vector<std::string> &env) {
  std::vector<std::string> own;
  wchar_t *strings = GetEnvironmentStringsW();
  for (const wchar_t *e = strings; *e != L'\0'; e += wcslen(e) + 1) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, e, -1, nullptr, 0, nullptr, nullptr);
    std::string entry(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, e, -1, entry.data(), n, nullptr, nullptr);
    own.push_back(entry.c_str());
  }
  FreeEnvironmentStringsW(strings);
  std::vector<std::string> merged = MergedEnvironment(own, env, _strnicmp);
  std::sort(merged.begin(), merged.end(),
            [](const auto &a, const auto &b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
  std::wstring block;
  for (const std::string &entry : merged) block += Wide(entry) + L'\0';
  return block + L'\0';
}

// A pipe whose one end the child inherits.
bool MakePipe(HANDLE *read, HANDLE *write, bool child_reads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(read, write, &inherit, 0)) return false;
  SetHandleInformation(child_reads ? *write : *read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void Drain(HANDLE pipe, std::string *into) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) into->append(buffer, got);
  CloseHandle(pipe);
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         const std::string &input, const std::string &cwd) {
  ProcessResult result;
  std::wstring line;
  for (const std::string &argument : argv) {
    if (!line.empty()) line += L' ';
    AppendQuoted(Wide(argument), &line);
  }
  std::wstring block = EnvironmentBlock(env);
  HANDLE in_read, in_write, out_read, out_write, err_read, err_write;
  if (!MakePipe(&in_read, &in_write, true) || !MakePipe(&out_read, &out_write, false) ||
      !MakePipe(&err_read, &err_write, false)) {
    return result;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(Wide(argv[0]).c_str(), line.data(), nullptr, nullptr, TRUE,
                                      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(),
                                      cwd.empty() ? nullptr : Wide(cwd).c_str(), &startup, &process);
  CloseHandle(in_read);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (!started) {
    const DWORD error = GetLastError();
    for (HANDLE h : {in_write, out_read, err_read}) CloseHandle(h);
    ADD_FAILURE() << "cannot start " << argv[0] << ": system error " << error;
    return result;
  }
  // A child past its deadline is ended, which closes its pipes and so frees the threads
  // below; the test then fails.
  bool late = false;
  std::thread watchdog([&] {
    if (WaitForSingleObject(process.hProcess, kProcessDeadlineSeconds * 1000) == WAIT_TIMEOUT) {
      late = true;
      TerminateProcess(process.hProcess, 1);
    }
  });
  std::thread out_thread(Drain, out_read, &result.out);
  std::thread err_thread(Drain, err_read, &result.err);
  // A child that stops reading early makes the write fail; it simply gets no more.
  for (std::size_t fed = 0; fed < input.size();) {
    DWORD put = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(input.size() - fed, 1 << 16));
    if (!WriteFile(in_write, input.data() + fed, piece, &put, nullptr) || put == 0) break;
    fed += put;
  }
  CloseHandle(in_write);
  out_thread.join();
  err_thread.join();
  watchdog.join();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.exit_status = static_cast<int>(code);
  if (late) {
    ADD_FAILURE() << argv[0] << " ran past its deadline of " << kProcessDeadlineSeconds << " s and was ended";
    result.exit_status = -1;
  }
  return result;
}

}  // namespace ydr::test
