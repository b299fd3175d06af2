// Archives built byte by byte (perhaps hostile); member streams from zlib with the stream's trailer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ydr::test {

struct ArchiveMember {
  ArchiveMember(std::string name_, std::uint8_t flag_, std::string content_)
      : name(std::move(name_)), flag(flag_), content(std::move(content_)) {}
  // A packed member whose stream is exactly `stream` (damaged, say).
  static ArchiveMember Raw(std::string name, std::string stream) {
    ArchiveMember m(std::move(name), 1, std::move(stream));
    m.raw = true;
    return m;
  }

  std::string name;  // UTF-8, converted to the archive's UTF-16
  std::uint8_t flag;
  std::string content;  // compressed into the member's stream (flag 1), or the stream itself if `raw`
  bool raw = false;
};

// The archive: header, records, names, then each packed member's stream in order.
std::string BuildArchive(const std::vector<ArchiveMember> &members);

// The compressed stream of `content`, as BuildArchive makes it.
std::string MemberStream(const std::string &content);

// What unpacking left below `folder`, sorted, links not followed: "name/" a folder,
// "name=bytes" a file, "name@" a link, "name|" anything else; "(no folder)" when there is none.
std::vector<std::string> TreeBelow(const std::string &folder);

// A little-endian field of an archive's bytes; a store past the end is left out.
inline void Put32(std::string *bytes, std::size_t at, std::uint32_t value) {
  if (at + 4 > bytes->size()) return;
  for (int i = 0; i < 4; ++i) (*bytes)[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}
inline std::uint32_t Get32(const std::string &bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

}  // namespace ydr::test
