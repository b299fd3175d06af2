#include "tests/support/archive_bytes.h"

#include <algorithm>
#include <filesystem>

#include "portable/utf16.h"
#include "tests/support/file_tree.h"
#include "tests/support/zlib_peer.h"

namespace ydr::test {

std::string MemberStream(const std::string &content) { return ZlibStream(content, 6, 12); }

std::string BuildArchive(const std::vector<ArchiveMember> &members) {
  std::string out = "YdrZip 1.0\r\n\x1a" + std::string(35 + 32 * members.size(), '\0');
  Put32(&out, 32, static_cast<std::uint32_t>(members.size()));
  out[36] = 1;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const portable::WString name = portable::WideFromUtf8(members[i].name);
    out[48 + 32 * i] = static_cast<char>(members[i].flag);
    Put32(&out, 48 + 32 * i + 12, static_cast<std::uint32_t>(out.size()));
    Put32(&out, 48 + 32 * i + 16, static_cast<std::uint32_t>(name.size()));  // 16 bits, and 16 reserved
    for (unsigned short unit : name) out += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    out.append(2, '\0');
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].flag != 1) continue;
    const std::string stream = members[i].raw ? members[i].content : MemberStream(members[i].content);
    Put32(&out, 48 + 32 * i + 4, static_cast<std::uint32_t>(out.size()));
    Put32(&out, 48 + 32 * i + 8, static_cast<std::uint32_t>(stream.size()));
    out += stream;
  }
  return out;
}

std::vector<std::string> TreeBelow(const std::string &folder) {
  if (!std::filesystem::exists(std::filesystem::u8path(folder))) return {"(no folder)"};
  std::vector<std::string> out;
  for (const auto &[path, entry] : TakeTree(folder)) {
    out.push_back(path + (entry.kind == 'f'   ? "=" + entry.bytes
                          : entry.kind == 'd' ? "/"
                          : entry.kind == 'l' ? "@"
                                              : "|"));
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ydr::test
