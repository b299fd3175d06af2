// ydr test: whether every member of an archive decodes, with a matching CRC-32 and length.
#include <cstdio>
#include <string>

#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "zip/member_stream.h"

namespace ydr::tool {
namespace {

int RunTest(const ParsedOptions &options) {
  if (options.operands().size() != 1) return Complain(kExitUsage, "test needs ARCHIVE");
  const bool verbose = options.Has("verbose"), quiet = options.Has("quiet");
  ArchiveReader archive;
  const std::string &path = options.operands()[0];
  if (!archive.Open(path)) return kExitFailure;
  const auto &index = archive.index();
  int failed = 0, cut_off = 0;
  {
    ProgressMeter meter("testing", "members", index.members.size(), 0);
    for (std::size_t i = 0; i < index.members.size(); ++i) {
      const zip::MemberRecord &m = index.members[i];
      meter.ItemDone();
      if (CutOff(index, i)) {
        ++cut_off;
        continue;
      }
      if (m.flag == zip::kFlagFolder || m.flag == zip::kFlagRemoved) continue;
      std::string why;
      if (m.flag == zip::kFlagPacked) {
        const zip::StreamStatus status = zip::UnpackStream(archive.file(), {m.data_offset, m.compressed_length}, true,
                                                           [&](const void *, std::size_t n) {
                                                             meter.AddBytes(n);
                                                             return true;
                                                           });
        if (status != zip::StreamStatus::kOk) why = zip::Describe(status);
      } else {
        why = m.flag == zip::kFlagNotPacked ? "was never packed" : "the archive's record of it is invalid";
      }
      if (!why.empty()) {
        ++failed;
        meter.Clear();
        Note("ydr: %s: %s\n", MemberLabel(m).c_str(), why.c_str());
      } else if (verbose) {
        meter.Clear();
        Note("ydr: %s: OK\n", MemberLabel(m).c_str());
      }
    }
  }
  const std::string label = Quoted(Printable(path));
  if (cut_off > 0) {
    Complain(kExitFailure,
             label + " is cut short: the data of " + std::to_string(cut_off) + " members lie past its end");
  }
  if (!quiet || failed + cut_off > 0) {
    Note("ydr: %s: %zu members, %d failed\n", label.c_str(), index.members.size(), failed + cut_off);
  }
  return failed + cut_off == 0 ? kExitOk : kExitFailure;
}

}  // namespace

extern const Command kTestCommand = {
    "test",
    "check every member of an archive (CRC-32 and length)",
    "usage: ydr test [-v | -q] ARCHIVE\n",
    "Decompresses every member within its recorded data and checks its CRC-32 and length.\n"
    "Each member that fails is named with the reason; the exit status is then 1.\n"
    "\n"
    "  -v, --verbose   name each member that checks out, too\n"
    "  -q, --quiet     no summary line when all is well\n",
    {{"verbose", 'v', false}, {"quiet", 'q', false}},
    false,
    RunTest,
};

}  // namespace ydr::tool
