// ydr test: whether every member of an archive decodes, with a matching CRC-32 and length.
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/archive_command.h"
#include "tools/file_io.h"
#include "tools/options.h"
#include "tools/progress.h"
#include "tools/text_output.h"
#include "zip/member_path.h"
#include "zip/member_stream.h"

namespace ydr::tool {
namespace {

using Landings = std::unordered_map<std::string, const zip::MemberRecord *>;

// Why unpack (without --flat) would leave out a member that decodes: its name leaves no file
// name, or a member before it that checked out lands on the same path. Empty when neither;
// then the member's path is taken.
std::string LandingProblem(const zip::MemberRecord &m, Landings *landed) {
  const std::vector<std::string> components = zip::FoldedMemberPath(m.name, false);
  if (components.empty()) return "its name leaves no file name to write";
  const std::string path = JoinedPath(components);
  const auto [first, taken] = landed->emplace(path, &m);
  return taken ? std::string() : SamePathWords(path, *first->second);
}

int RunTest(const ParsedOptions &options) {
  if (options.operands().size() != 1) return Complain(kExitUsage, "test needs ARCHIVE");
  const bool verbose = options.Has("verbose"), quiet = options.Has("quiet");
  ArchiveReader archive;
  const std::string &path = options.operands()[0];
  if (!archive.Open(path)) return kExitFailure;
  const auto &index = archive.index();
  // Members whose data are cut off or shared are reported together below, never decoded: a
  // shared stream could take seconds per member to decode, the same bytes each time.
  int failed = 0;
  bool written = true;
  // Where each member that checked out would be unpacked (without --flat): a later one on the
  // same path would be refused by unpack, so it fails here too.
  Landings landed;
  {
    ProgressMeter meter("testing", "members", index.members.size(), 0);
    for (std::size_t i = 0; i < index.members.size(); ++i) {
      const zip::MemberRecord &m = index.members[i];
      meter.ItemDone();
      const zip::DataPlace place = archive.place(i);
      if (place == zip::DataPlace::kCutOff || place == zip::DataPlace::kShared) continue;
      if (m.flag == zip::kFlagFolder || m.flag == zip::kFlagRemoved) continue;
      std::string why;
      if (m.flag == zip::kFlagPacked) {
        const zip::StreamStatus status = zip::UnpackStream(archive.file(), {m.data_offset, m.compressed_length}, true,
                                                           [&](const void *, std::size_t n) {
                                                             meter.AddBytes(n);
                                                             return true;
                                                           });
        why = status != zip::StreamStatus::kOk ? zip::Describe(status) : LandingProblem(m, &landed);
      } else {
        why = m.flag == zip::kFlagNotPacked ? "was never packed" : "the archive's record of it is invalid";
      }
      if (!why.empty()) {
        ++failed;
        meter.Clear();
        Note("ydr: %s: %s\n", MemberLabel(m, i).c_str(), why.c_str());
      } else if (verbose) {
        meter.Clear();
        written = PrintLine(MemberLabel(m, i) + ": OK") && written;  // results go to standard output
      }
    }
  }
  const std::string label = Quoted(Printable(path));
  if (archive.shared() > 0) {
    Complain(kExitFailure, label + ": " + Counted(archive.shared(), "member") +
                               " share or overlap their data (the first: " +
                               MemberLabel(index.members[archive.first_shared()]) + "); they were not checked");
  }
  if (archive.cut_off() > 0) {
    Complain(kExitFailure, label + " is cut short: the data of " + Counted(archive.cut_off(), "member") +
                               (archive.cut_off() == 1 ? " lies" : " lie") + " past its end");
  }
  const std::size_t failures =
      static_cast<std::size_t>(failed) + archive.shared() + archive.cut_off() + (archive.records_missing() ? 1 : 0);
  if (!written || !FlushOutput()) return Complain(kExitFailure, "cannot write the results to standard output");
  if (!quiet || failures > 0) {
    Note("ydr: %s: %s, %zu failed\n", label.c_str(), Counted(index.members.size(), "member").c_str(), failures);
  }
  return failures == 0 ? kExitOk : kExitFailure;
}

}  // namespace

extern const Command kTestCommand = {
    "test",
    "check every member of an archive (CRC-32 and length)",
    "usage: ydr test [-v | -q] ARCHIVE\n",
    "Decompresses every member within its recorded data and checks its CRC-32 and length.\n"
    "Each member that fails is named with the reason; the exit status is then 1. Members\n"
    "whose data lie past the end of the archive, or share bytes with another member's, fail\n"
    "without being decoded, and so does a member that unpack would leave out because an\n"
    "earlier one lands on the same path. With -v, each member that checks out is named on\n"
    "standard output.\n"
    "\n"
    "  -v, --verbose   name each member that checks out, too\n"
    "  -q, --quiet     no summary line when all is well\n",
    {{"verbose", 'v', false}, {"quiet", 'q', false}},
    false,
    RunTest,
};

}  // namespace ydr::tool
