#include "tests/support/archive_bytes.h"

#include "portable/utf16.h"
#include "tests/support/zlib_peer.h"

namespace ydr::test {
namespace {

std::string Header(std::size_t count) {
  std::string out = "YdrZip 1.0\r\n\x1a";
  out.append(19, '\0');
  out.append(16, '\0');
  Put32(&out, 32, static_cast<std::uint32_t>(count));
  out[36] = 1;
  return out;
}

}  // namespace

std::string MemberStream(const std::string &content) { return ZlibStream(content, 6, 12); }

std::string BuildArchive(const std::vector<ArchiveMember> &members) {
  std::string out = Header(members.size());
  out.append(32 * members.size(), '\0');
  std::vector<portable::WString> names;
  for (const ArchiveMember &m : members) names.push_back(portable::WideFromUtf8(m.name));
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::size_t record = 48 + 32 * i;
    out[record] = static_cast<char>(members[i].flag);
    Put32(&out, record + 12, static_cast<std::uint32_t>(out.size()));
    out[record + 16] = static_cast<char>(names[i].size() & 0xFF);
    out[record + 17] = static_cast<char>(names[i].size() >> 8);
    for (unsigned short unit : names[i])
      out += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    out.append(2, '\0');
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].flag != 1) continue;
    const std::string stream = members[i].raw ? members[i].stream : MemberStream(members[i].content);
    Put32(&out, 48 + 32 * i + 4, static_cast<std::uint32_t>(out.size()));
    Put32(&out, 48 + 32 * i + 8, static_cast<std::uint32_t>(stream.size()));
    out += stream;
  }
  return out;
}

std::string SharedStreamArchive(int count, const std::string &content) {
  std::vector<ArchiveMember> members;
  for (int i = 0; i < count; ++i) members.push_back({"copy" + std::to_string(i), 1, i == 0 ? content : ""});
  std::string out = BuildArchive(members);
  // Every record takes the first member's stream.
  for (int i = 1; i < count; ++i) out.replace(48 + 32 * static_cast<std::size_t>(i) + 4, 8, out.substr(48 + 4, 8));
  return out;
}

}  // namespace ydr::test
