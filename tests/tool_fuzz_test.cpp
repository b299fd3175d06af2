// An invariant fuzzer for ydr list, test and unpack over seeded archives, well-formed or
// hostile, and destinations holding traps (existing files, links leading out, pipes, read-only
// folders). No run ends by a signal; nothing outside DEST changes, nor anything in it without
// --overwrite; each new file holds some member's bytes under its name; exit 0 means every member
// is there, exit 1 names what is not. YDR_FUZZ_CASES and YDR_FUZZ_SEED replay a failing seed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/archive_bytes.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"

namespace {

using ydr::test::ArchiveMember;
using ydr::test::Get32;
using ydr::test::ProcessResult;
using ydr::test::Put32;
using ydr::test::TempDir;
using ydr::test::Tree;
using ydr::test::Ydr;

long EnvNumber(const char *name, long fallback) {
  const char *text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : fallback;
}

// Names whose place below DEST is plain: backslashes are folders, nothing folds.
const std::vector<std::string> kPlainNames = {"a.txt",       "b.bin",   "d\\c.txt",
                                              "d\\e\\f.txt", "g h.txt", "deep\\1\\2\\3\\4\\5\\6\\7\\8\\9\\h.txt"};
// Names meant to collide, fold, climb out or land on a trap, and the empty name.
const std::vector<std::string> kHostileNames = [] {
  std::vector<std::string> names = ydr::test::Words(
      R"(A.TXT x\..\a.txt ..\..\escape.txt \rooted.txt C:\drive.txt d\ ..\ link\through.txt fifo exists.txt)"
      R"( ro\inside.txt d\c.txt\under-a-file.txt a.txt ./a.txt d/c.txt)"
      " control\x01.txt");
  names.insert(names.begin() + 6, "");
  return names;
}();

struct Case {
  std::vector<ArchiveMember> members;
  std::vector<std::string> holds;  // what each packed record points at: another's stream, once moved onto one
  std::string archive;
  bool plain = true;  // names plain and distinct, data untouched: unpacking must succeed
  std::vector<std::string> options;
  std::uint64_t max_output = 0;  // 0: none given
  std::set<std::string> traps;   // what the destination holds before the run
};

// A stored name's file name as unpacking writes it: control characters are left out.
std::string LastComponent(const std::string &name) {
  const auto cut = name.find_last_of("\\/");
  std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
  last.erase(std::remove_if(last.begin(), last.end(), [](unsigned char ch) { return ch < 0x20; }), last.end());
  return last;
}

// Empty, random bytes or words.
std::string RandomContent(std::mt19937 &random) {
  static const char *const kWords[] = {"alpha ", "bravo ", "charlie ", "delta ", "\n", "\t", "0123456789"};
  const std::size_t size = random() % 4 == 0 ? 0 : random() % 3000;
  const bool binary = random() % 3 == 0;
  std::string out;
  while (out.size() < size) out += binary ? std::string(1, static_cast<char>(random())) : kWords[random() % 7];
  out.resize(size);
  return out;
}

Case Generate(std::mt19937 &random) {
  Case c;
  std::set<std::string> used;
  for (int i = 1 + static_cast<int>(random() % 7); i > 0; --i) {
    const bool hostile = random() % 3 == 0;
    std::string name =
        hostile ? kHostileNames[random() % kHostileNames.size()] : kPlainNames[random() % kPlainNames.size()];
    c.plain = c.plain && !hostile && used.insert(name).second;
    static const std::uint8_t kOtherFlags[] = {3, 2, 4};  // a folder, never packed, removed
    const unsigned pick = random() % 12;                  // mostly packed
    std::uint8_t flag = pick < 3 ? kOtherFlags[pick] : 1;
    if (pick == 3) flag = random() % 2 == 0 ? 0 : 9;  // invalid
    c.plain = c.plain && (flag == 1 || flag == 4);
    c.members.emplace_back(name, flag, flag == 1 ? RandomContent(random) : "");
  }
  c.archive = ydr::test::BuildArchive(c.members);

  // Up to three kinds of damage at once, so that one can hide another: records sharing or
  // overlapping data, huge lengths, a damaged stream, a cut file.
  const auto record = [](std::size_t i) { return 48 + 32 * i; };
  std::vector<std::size_t> packed;
  std::map<std::uint32_t, const std::string *> stream_at;  // each packed stream's start
  for (std::size_t i = 0; i < c.members.size(); ++i) {
    if (c.members[i].flag != 1) continue;
    packed.push_back(i);
    stream_at[Get32(c.archive, record(i) + 4)] = &c.members[i].content;
  }
  for (int round = static_cast<int>(random() % 4); round > 0 && !packed.empty(); --round) {
    const int damage = static_cast<int>(random() % 6);
    if (damage < 2) continue;
    c.plain = false;
    const std::size_t victim = record(packed[random() % packed.size()]),
                      other = record(packed[random() % packed.size()]);
    switch (damage) {
      case 2:  // share another member's data, or start inside it
        Put32(&c.archive, victim + 4, Get32(c.archive, other + 4) + (random() % 2 == 0 ? 0 : 2));
        Put32(&c.archive, victim + 8, Get32(c.archive, other + 8));
        break;
      case 3:  // a length or an offset past any file
        Put32(&c.archive, victim + (random() % 2 == 0 ? 8 : 4), random() % 2 == 0 ? 0xFFFFFFFFu : 0x7FFFFFF0u);
        break;
      case 4: {  // a damaged stream
        const std::size_t at = Get32(c.archive, victim + 4) + random() % 8;
        if (at < c.archive.size()) c.archive[at] = static_cast<char>(c.archive[at] ^ (1 + random() % 255));
        break;
      }
      default:  // cut short
        c.archive.resize(48 + random() % (c.archive.size() - 47));
        break;
    }
  }
  c.holds.resize(c.members.size());
  for (const std::size_t i : packed) {
    const auto stream =
        record(i) + 8 <= c.archive.size() ? stream_at.find(Get32(c.archive, record(i) + 4)) : stream_at.end();
    c.holds[i] = stream != stream_at.end() ? *stream->second : c.members[i].content;
  }

  // The destination's traps and the run's options.
  for (const char *trap : {"exists.txt", "a.txt", "link", "fifo", "ro", "d"}) {
    if (random() % 3 == 0) c.traps.insert(trap);
  }
  const unsigned option = random() % 6;
  static const char *const kOptions[] = {"--overwrite", "--keep", "--flat"};
  if (option < 3) c.options = {kOptions[option]};
  if (option == 3) c.max_output = random() % 4000;
  if (option == 3) c.options = {"--max-output", std::to_string(c.max_output)};
  return c;
}

// A tree split into what is below "dest/" (without the prefix) and the rest.
std::pair<Tree, Tree> SplitAtDest(const Tree &tree) {
  std::pair<Tree, Tree> out;
  for (const auto &[path, entry] : tree) {
    if (path.rfind("dest/", 0) == 0) out.first[path.substr(5)] = entry;
    if (path.rfind("dest/", 0) != 0) out.second[path] = entry;
  }
  return out;
}

bool NamesMember(const std::string &err, const std::string &name, std::size_t index) {
  // A member whose record no longer gives its name is named by its place in the archive.
  if (err.find("member " + std::to_string(index) + ":") != std::string::npos) return true;
  // Messages show a control character escaped: the file name up to the first one.
  const auto control = std::find_if(name.begin(), name.end(), [](unsigned char ch) { return ch < 0x20; });
  const std::string last = LastComponent(std::string(name.begin(), control));
  if (last.empty()) return !err.empty();
  return err.find(last) != std::string::npos || err.find("case.ydz") != std::string::npos;
}

void CheckCase(std::uint32_t seed) {
  std::mt19937 random(seed);
  const Case c = Generate(random);
  TempDir dir;
  dir.WriteFile("case.ydz", c.archive);
  dir.WriteFile("outside/target", "outside the destination");
  dir.MakeDir("dest");
  for (const std::string &trap : c.traps) {
    const std::string path = dir / ("dest/" + trap);
    if (trap == "link") {
      EXPECT_EQ(symlink((dir / "outside").c_str(), path.c_str()), 0);
    } else if (trap == "fifo") {
      EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    } else if (trap == "ro") {
      dir.WriteFile("dest/ro/kept.txt", "in a read-only folder");
      chmod(path.c_str(), 0555);
    } else if (trap == "d") {
      dir.WriteFile("dest/d/c.txt", "an existing file in a member's folder");
    } else {
      dir.WriteFile("dest/" + trap, "an existing file");
    }
  }
  const auto [old_dest, old_outside] = SplitAtDest(ydr::test::TakeTree(dir.path()));

  const ProcessResult listed = Ydr({"list", dir / "case.ydz"}), tested = Ydr({"test", "-q", dir / "case.ydz"});
  EXPECT_TRUE(listed.exit_status == 0 || listed.exit_status == 1) << "list: " << listed.exit_status << listed.err;
  EXPECT_TRUE(tested.exit_status == 0 || tested.exit_status == 1) << "test: " << tested.exit_status << tested.err;

  std::vector<std::string> args = {"unpack", "-q"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const auto given = [&](const char *option) { return std::find(args.begin(), args.end(), option) != args.end(); };
  args.insert(args.end(), {dir / "case.ydz", dir / "dest"});
  const ProcessResult unpacked = Ydr(args);
  SCOPED_TRACE("options '" + (c.options.empty() ? "" : c.options.front()) + "': exit " +
               std::to_string(unpacked.exit_status) + ", stderr:\n" + unpacked.err);
  EXPECT_TRUE(unpacked.exit_status == 0 || unpacked.exit_status == 1) << "unpack ended by a signal or misused";
  EXPECT_TRUE(unpacked.exit_status == 0 || !unpacked.err.empty()) << "a failed unpack said nothing";

  const auto [new_dest, new_outside] = SplitAtDest(ydr::test::TakeTree(dir.path()));
  chmod((dir / "dest/ro").c_str(), 0755);  // so that the folder can be removed
  EXPECT_EQ(new_outside, old_outside) << "something outside DEST changed";

  std::set<std::string> contents_by_name, distinct;  // "name\0bytes" of each packed member; its bytes
  std::uint64_t limit = 0, written = 0;
  for (std::size_t i = 0; i < c.members.size(); ++i) {
    if (c.members[i].flag == 1) contents_by_name.insert(LastComponent(c.members[i].name) + '\0' + c.holds[i]);
    if (c.members[i].flag == 1 && distinct.insert(c.holds[i]).second) limit += c.holds[i].size();
  }
  for (const auto &[path, entry] : new_dest) {
    const auto was = old_dest.find(path);
    if ((was != old_dest.end() && was->second == entry) || entry.kind == 'd') continue;  // or a member's folder
    if (was != old_dest.end() && !given("--overwrite")) ADD_FAILURE() << "'" << path << "' changed without --overwrite";
    written += entry.bytes.size();
    if (entry.kind != 'f' || contents_by_name.count(LastComponent(path) + '\0' + entry.bytes) == 0) {
      ADD_FAILURE() << "'" << path << "' is not a member's bytes under that name: " << ydr::test::Describe(entry);
    }
  }
  for (const auto &[path, entry] : old_dest) {
    if (new_dest.count(path) == 0) ADD_FAILURE() << "'" << path << "' was in DEST and is gone";
  }
  EXPECT_LE(written, limit) << "more bytes written than the archive's members hold";
  EXPECT_TRUE(c.max_output == 0 || written <= c.max_output) << "more bytes written than --max-output: " << written;

  // Each packed member is there or named; a run refused as a whole (nothing written, the
  // reason said once) accounts for all of them.
  const bool refused_whole = unpacked.exit_status != 0 && new_dest == old_dest && !unpacked.err.empty();
  for (std::size_t i = 0; !refused_whole && i < c.members.size(); ++i) {
    const ArchiveMember &m = c.members[i];
    const auto holds = [&](const Tree &tree, bool its_bytes) {
      return std::any_of(tree.begin(), tree.end(), [&](const auto &file) {
        return file.second.kind == 'f' && LastComponent(file.first) == LastComponent(m.name) &&
               (!its_bytes || file.second.bytes == c.holds[i]);
      });
    };
    // With --keep, a file that was there before is left as it is, unnamed (no trap's file name
    // is in two folders).
    if (m.flag != 1 || holds(new_dest, true) || (given("--keep") && holds(old_dest, false))) continue;
    if (unpacked.exit_status == 0) {
      EXPECT_TRUE(given("--keep")) << "'" << m.name << "' is neither unpacked nor reported, and the run exited 0";
    } else {
      EXPECT_TRUE(NamesMember(unpacked.err, m.name, i)) << "'" << m.name << "' is missing and not named";
    }
  }

  // test's verdict against unpacking into an empty folder.
  const ProcessResult fresh = Ydr({"unpack", "-q", dir / "case.ydz", dir.MakeDir("fresh")});
  EXPECT_TRUE(fresh.exit_status == 0 || fresh.exit_status == 1) << "unpack into an empty folder: " << fresh.err;
  EXPECT_TRUE(tested.exit_status == 0 || fresh.exit_status != 0) << "test found a member bad, yet unpacking succeeded";
  if (!c.plain || tested.exit_status != 0) return;
  EXPECT_EQ(fresh.exit_status, 0) << "a plain archive that passes test fails to unpack: " << fresh.err;
  const Tree out = ydr::test::TakeTree(dir / "fresh");
  for (const ArchiveMember &m : c.members) {
    std::string path = m.name;
    std::replace(path.begin(), path.end(), '\\', '/');
    const auto it = out.find(path);
    EXPECT_TRUE(m.flag != 1 || (it != out.end() && it->second.bytes == m.content)) << "'" << path << "' differs";
  }
}

TEST(ToolFuzzTest, ListTestAndUnpackKeepTheirInvariants) {
  const long cases = EnvNumber("YDR_FUZZ_CASES", 100);
  const auto first = static_cast<std::uint32_t>(EnvNumber("YDR_FUZZ_SEED", 1));
  for (long i = 0; i < cases; ++i) {
    const std::uint32_t seed = first + static_cast<std::uint32_t>(i);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (replay: YDR_FUZZ_SEED=" + std::to_string(seed) +
                 " YDR_FUZZ_CASES=1)");
    CheckCase(seed);
  }
}

}  // namespace
