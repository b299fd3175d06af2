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

struct Member {
  std::string name;
  std::uint8_t flag;
  std::string content;  // what was packed for it
  std::string holds;    // what its record points at: another member's stream, once moved onto one
};

struct Case {
  std::vector<Member> members;
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
  const int count = 1 + static_cast<int>(random() % 7);
  std::set<std::string> used;
  for (int i = 0; i < count; ++i) {
    Member m;
    const bool hostile = random() % 3 == 0;
    m.name = hostile ? kHostileNames[random() % kHostileNames.size()] : kPlainNames[random() % kPlainNames.size()];
    if (hostile || used.count(m.name) != 0) c.plain = false;
    used.insert(m.name);
    static const std::uint8_t kOtherFlags[] = {3, 2, 4};  // a folder, never packed, removed
    const unsigned pick = random() % 12;                  // mostly packed
    m.flag = pick < 3 ? kOtherFlags[pick] : 1;
    if (pick == 3) m.flag = random() % 2 == 0 ? 0 : 9;  // invalid
    if (m.flag != 1 && m.flag != 4) c.plain = false;
    if (m.flag == 1) m.content = RandomContent(random);
    c.members.push_back(m);
  }
  std::vector<ArchiveMember> members;
  for (const Member &m : c.members) members.emplace_back(m.name, m.flag, m.content);
  c.archive = ydr::test::BuildArchive(members);

  // Up to three kinds of damage at once, so that one can hide another: records sharing or
  // overlapping data, huge lengths, a damaged stream, a cut file.
  const auto record = [](std::size_t i) { return 48 + 32 * i; };
  std::vector<std::size_t> packed;
  for (std::size_t i = 0; i < c.members.size(); ++i) {
    if (c.members[i].flag == 1) packed.push_back(i);
  }
  std::map<std::uint32_t, const std::string *> stream_at;  // each packed stream's start
  for (const std::size_t i : packed) stream_at[Get32(c.archive, record(i) + 4)] = &c.members[i].content;
  for (int round = static_cast<int>(random() % 4); round > 0 && !packed.empty(); --round) {
    const int damage = static_cast<int>(random() % 6);
    if (damage < 2) continue;
    c.plain = false;
    const std::size_t victim = packed[random() % packed.size()];
    const std::size_t other = packed[random() % packed.size()];
    switch (damage) {
      case 2:  // share another member's data, or start inside it
        Put32(&c.archive, record(victim) + 4, Get32(c.archive, record(other) + 4) + (random() % 2 == 0 ? 0 : 2));
        Put32(&c.archive, record(victim) + 8, Get32(c.archive, record(other) + 8));
        break;
      case 3:  // a length or an offset past any file
        Put32(&c.archive, record(victim) + (random() % 2 == 0 ? 8 : 4), random() % 2 == 0 ? 0xFFFFFFFFu : 0x7FFFFFF0u);
        break;
      case 4: {  // a damaged stream
        const std::size_t at = Get32(c.archive, record(victim) + 4) + random() % 8;
        if (at < c.archive.size()) c.archive[at] = static_cast<char>(c.archive[at] ^ (1 + random() % 255));
        break;
      }
      default:  // cut short
        c.archive.resize(48 + random() % (c.archive.size() - 47));
        break;
    }
  }

  for (const std::size_t i : packed) {
    Member &m = c.members[i];
    const auto stream =
        record(i) + 8 <= c.archive.size() ? stream_at.find(Get32(c.archive, record(i) + 4)) : stream_at.end();
    m.holds = stream != stream_at.end() ? *stream->second : m.content;
  }

  // The destination's traps and the run's options.
  static const std::vector<std::string> kTraps = {"exists.txt", "a.txt", "link", "fifo", "ro", "d"};
  for (const std::string &trap : kTraps) {
    if (random() % 3 == 0) c.traps.insert(trap);
  }
  const unsigned option = random() % 6;
  static const char *const kOptions[] = {"--overwrite", "--keep", "--flat"};
  if (option < 3) c.options = {kOptions[option]};
  if (option == 3) c.max_output = random() % 4000;
  if (option == 3) c.options = {"--max-output", std::to_string(c.max_output)};
  return c;
}

void PlaceTraps(const TempDir &dir, const Case &c) {
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
}

// The part of a tree below `prefix` ("dest/"), and the rest.
Tree Below(const Tree &tree, const std::string &prefix, bool inside) {
  Tree out;
  for (const auto &[path, entry] : tree) {
    if ((path.rfind(prefix, 0) == 0) == inside) out[inside ? path.substr(prefix.size()) : path] = entry;
  }
  return out;
}

bool NamesMember(const std::string &err, const Member &m, std::size_t index, const std::string &archive) {
  // A member whose record no longer gives its name is named by its place in the archive.
  if (err.find("member " + std::to_string(index) + ":") != std::string::npos) return true;
  // Messages show a control character escaped: the file name up to the first one.
  const auto control = std::find_if(m.name.begin(), m.name.end(), [](unsigned char ch) { return ch < 0x20; });
  const std::string last = LastComponent(std::string(m.name.begin(), control));
  if (last.empty()) return !err.empty();
  return err.find(last) != std::string::npos || err.find(archive) != std::string::npos;
}

void CheckCase(std::uint32_t seed) {
  std::mt19937 random(seed);
  const Case c = Generate(random);
  TempDir dir;
  dir.WriteFile("case.ydz", c.archive);
  PlaceTraps(dir, c);
  const Tree before = ydr::test::TakeTree(dir.path());

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

  const Tree after = ydr::test::TakeTree(dir.path());
  chmod((dir / "dest/ro").c_str(), 0755);  // so that the folder can be removed
  EXPECT_EQ(Below(after, "dest/", false), Below(before, "dest/", false)) << "something outside DEST changed";
  const Tree old_dest = Below(before, "dest/", true), new_dest = Below(after, "dest/", true);

  std::set<std::string> contents_by_name, distinct;  // "name\0bytes" of each packed member; its bytes
  std::uint64_t limit = 0;
  for (const Member &m : c.members) {
    if (m.flag == 1) contents_by_name.insert(LastComponent(m.name) + '\0' + m.holds);
    if (m.flag == 1 && distinct.insert(m.holds).second) limit += m.holds.size();
  }

  std::uint64_t written = 0;
  for (const auto &[path, entry] : new_dest) {
    const auto was = old_dest.find(path);
    if (was != old_dest.end() && was->second == entry) continue;
    if (entry.kind == 'd') continue;  // folders made for members
    if (was != old_dest.end() && !given("--overwrite")) ADD_FAILURE() << "'" << path << "' changed without --overwrite";
    if (entry.kind != 'f') {
      ADD_FAILURE() << "'" << path << "' is now " << ydr::test::Describe(entry);
      continue;
    }
    written += entry.bytes.size();
    if (contents_by_name.count(LastComponent(path) + '\0' + entry.bytes) == 0) {
      ADD_FAILURE() << "'" << path << "' holds no member's bytes under that name: " << ydr::test::Describe(entry);
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
    const Member &m = c.members[i];
    if (m.flag != 1) continue;
    const auto holds = [&](const Tree &tree, bool its_bytes) {
      return std::any_of(tree.begin(), tree.end(), [&](const auto &file) {
        return file.second.kind == 'f' && LastComponent(file.first) == LastComponent(m.name) &&
               (!its_bytes || file.second.bytes == m.holds);
      });
    };
    // With --keep, a file that was there before is left as it is, unnamed (no trap's file name
    // is in two folders).
    if (holds(new_dest, true) || (given("--keep") && holds(old_dest, false))) continue;
    if (unpacked.exit_status == 0) {
      EXPECT_TRUE(given("--keep")) << "'" << m.name << "' is neither unpacked nor reported, and the run exited 0";
    } else {
      EXPECT_TRUE(NamesMember(unpacked.err, m, i, "case.ydz")) << "'" << m.name << "' is missing and not named";
    }
  }

  // test's verdict against unpacking into an empty folder.
  dir.MakeDir("fresh");
  const ProcessResult fresh = Ydr({"unpack", "-q", dir / "case.ydz", dir / "fresh"});
  EXPECT_TRUE(fresh.exit_status == 0 || fresh.exit_status == 1) << "unpack into an empty folder: " << fresh.err;
  EXPECT_TRUE(tested.exit_status == 0 || fresh.exit_status != 0) << "test found a member bad, yet unpacking succeeded";
  if (c.plain && tested.exit_status == 0) {
    EXPECT_EQ(fresh.exit_status, 0) << "a plain archive that passes test fails to unpack: " << fresh.err;
    const Tree out = ydr::test::TakeTree(dir / "fresh");
    for (const Member &m : c.members) {
      if (m.flag != 1) continue;
      std::string path = m.name;
      std::replace(path.begin(), path.end(), '\\', '/');
      const auto it = out.find(path);
      EXPECT_TRUE(it != out.end() && it->second.bytes == m.content) << "'" << path << "' is not the member's bytes";
    }
  }
}

TEST(ToolFuzzTest, ListTestAndUnpackKeepTheirInvariants) {
  const long cases = EnvNumber("YDR_FUZZ_CASES", 100);
  const auto first = static_cast<std::uint32_t>(EnvNumber("YDR_FUZZ_SEED", 1));
  std::printf("%ld cases from seed %u\n", cases, first);
  for (long i = 0; i < cases; ++i) {
    const std::uint32_t seed = first + static_cast<std::uint32_t>(i);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (replay: YDR_FUZZ_SEED=" + std::to_string(seed) +
                 " YDR_FUZZ_CASES=1)");
    CheckCase(seed);
  }
}

}  // namespace
