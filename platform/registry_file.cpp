#include "platform/registry_file.h"

namespace ydr::platform {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::optional<RegistryValues> ParseRegistryKey(std::string_view text, std::string_view key_path) {
  std::optional<RegistryValues> values;
  bool in_key = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      in_key = line.size() >= 2 && line.back() == ']' &&
               EqualsIgnoringAsciiCase(Trim(line.substr(1, line.size() - 2)), key_path);
      if (in_key && !values) values.emplace();
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!in_key || equals == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, equals));
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (name.empty()) continue;
    bool replaced = false;
    for (auto &entry : *values) {
      if (EqualsIgnoringAsciiCase(entry.first, name)) {
        entry.second.assign(value);
        replaced = true;
      }
    }
    if (!replaced) values->emplace_back(std::string(name), std::string(value));
  }
  return values;
}

}  // namespace ydr::platform
