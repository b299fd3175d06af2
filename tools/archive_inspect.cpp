// ydr list and ydr test: what an archive holds, and whether every member decodes.
#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/text_output.h"
#include "zip/member_stream.h"

namespace ydr::tool {

int RunList(const Arguments &args) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) return Complain(kExitUsage, "list needs ARCHIVE");
  ArchiveReader archive;
  if (!archive.Open(args[0])) return kExitFailure;
  const auto &members = archive.index().members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const zip::MemberRecord &m = members[i];
    // Checked once, through the stream's error flag, below.
    static_cast<void>(
        std::printf("%5zu  %-10s %10u  %s\n", i, FlagWords(m.flag), m.compressed_length, Printable(m.name).c_str()));
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return Complain(kExitFailure, "cannot write the listing");
  return kExitOk;
}

int RunTest(const Arguments &args) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) return Complain(kExitUsage, "test needs ARCHIVE");
  ArchiveReader archive;
  if (!archive.Open(args[0])) return kExitFailure;
  const auto &members = archive.index().members;
  int failed = 0, cut_off = 0;
  const auto &past_end = archive.index().past_end;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const zip::MemberRecord &m = members[i];
    if (std::find(past_end.begin(), past_end.end(), i) != past_end.end() ||
        (m.flag == zip::kFlagPacked &&
         std::uint64_t{m.data_offset} + m.compressed_length > archive.index().file_size)) {
      ++cut_off;
      continue;
    }
    if (m.flag == zip::kFlagFolder || m.flag == zip::kFlagRemoved) continue;
    std::string why;
    if (m.flag == zip::kFlagPacked) {
      const zip::StreamStatus status = zip::UnpackStream(archive.file(), {m.data_offset, m.compressed_length}, true,
                                                         [](const void *, std::size_t) { return true; });
      if (status != zip::StreamStatus::kOk) why = zip::Describe(status);
    } else {
      why = m.flag == zip::kFlagNotPacked ? "was never packed" : "the archive's record of it is invalid";
    }
    if (!why.empty()) {
      ++failed;
      Note("ydr: %s: %s\n", MemberLabel(m).c_str(), why.c_str());
    }
  }
  const std::string label = Quoted(Printable(args[0]));
  if (cut_off > 0) {
    Complain(kExitFailure,
             label + " is cut short: the data of " + std::to_string(cut_off) + " members lie past its end");
  }
  Note("ydr: %s: %zu members, %d failed\n", label.c_str(), members.size(), failed + cut_off);
  return failed + cut_off == 0 ? kExitOk : kExitFailure;
}

}  // namespace ydr::tool
