// A password as the command takes it: never from the command line (where any user can read
// it), but from a file, an open descriptor, or the terminal without echo. The text is wiped
// from memory when the secret goes, and so is every copy the command makes.
#pragma once

#include <string>

namespace ydr::tool {

// The longest password taken (its final line break aside); a longer file or descriptor is
// refused without being read further.
inline constexpr std::size_t kMaxSecretBytes = 4096;

class Secret {
 public:
  Secret() = default;
  ~Secret() { Wipe(); }
  Secret(const Secret &) = delete;
  Secret &operator=(const Secret &) = delete;

  // One of: the file's contents, what descriptor `fd` holds, or a line typed at the terminal
  // after `prompt` (echo off). A final line break is dropped. False with the reason.
  bool FromFile(const std::string &path, std::string *error);
  bool FromDescriptor(int fd, std::string *error);
  bool FromTerminal(const char *prompt, std::string *error);

  const std::string &text() const { return text_; }
  void Wipe();

 private:
  // Drops a final line break; then refuses (with the reason, the text wiped) a text longer
  // than kMaxSecretBytes. Returns `ok` otherwise.
  bool TrimLineBreak(bool ok, std::string *error);
  std::string text_;
};

// Wipes any buffer of secret bytes (the compiler may not drop it as a dead store).
void WipeBytes(void *data, std::size_t size);

}  // namespace ydr::tool
