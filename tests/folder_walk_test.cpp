// The folder walk CYdrZIP and `ydr pack` share, over a made-up file system: names, order, rules.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "portable/utf16.h"
#include "zip/folder_walk.h"

namespace ydr::zip {
namespace {

// A folder's `target` names the folder it lists ("refused": refused by the policy); `id` 0: no identity.
struct Fake {
  std::string name;
  char kind;  // 'f' file, 'd' folder
  std::uint64_t id = 0;
  std::string target = "";
};
using FakeTree = std::map<std::string, std::vector<Fake>>;

// Lists from the made-up tree and writes down everything the walk does, one line each.
class RecordingPolicy final : public WalkPolicy {
 public:
  explicit RecordingPolicy(const FakeTree *tree) : tree_(tree) {}

  bool List(const Name &, const WalkEntry &folder, std::vector<WalkEntry> *entries) override {
    const auto found = tree_->find(folder.source);
    if (found == tree_->end()) return false;
    for (const Fake &f : found->second) {
      WalkEntry entry;
      entry.name = portable::WideFromUtf8(f.name);
      entry.kind = f.kind == 'd' ? WalkEntry::Kind::kFolder : WalkEntry::Kind::kFile;
      if (f.id != 0) entry.identity = platform::FileIdentity{1, f.id};
      entry.source = f.target;
      entries->push_back(entry);
    }
    return true;
  }
  bool Admit(const Name &name, const WalkEntry &entry) override {
    if (entry.source != "refused") return true;
    events.push_back("refused " + portable::Utf8FromWide(name));
    return false;
  }
  void LeftOut(const Name &name, const WalkEntry &, WalkRule) override {
    events.push_back("left out " + portable::Utf8FromWide(name));
  }
  std::size_t Append(const Name &name, const WalkEntry &, std::uint8_t flag) override {
    events.push_back((flag == kFlagFolder ? "folder " : "file ") + portable::Utf8FromWide(name));
    return appended_++;
  }
  void SearchFailed(std::size_t index) override { events.push_back("unsearchable " + std::to_string(index)); }

  std::vector<std::string> events;

 private:
  const FakeTree *tree_;
  std::size_t appended_ = 1;  // the walked folder itself is member 0
};

TEST(FolderWalkTest, NamesOrderAndRules) {
  const std::string long_name(257, 'n');  // "t\" + it + "\" is 260 units: one past a path buffer
  struct Case {
    const char *what;
    std::string root_name;
    FakeTree tree;                    // the root folder is "root", with identity 1
    std::vector<std::string> events;  // the last: what Walk returns
  };
  const Case cases[] = {
      {"depth first, in the folder's order, folders ending in a backslash",
       "t\\",
       {{"root", {{"b.txt", 'f'}, {"sub", 'd', 2, "S"}, {"a.txt", 'f'}}},
        {"S", {{"c", 'f'}, {"deep", 'd', 3, "D"}}},
        {"D", {{"d", 'f'}}}},
       {"file t\\b.txt", "folder t\\sub\\", "file t\\sub\\c", "folder t\\sub\\deep\\", "file t\\sub\\deep\\d",
        "file t\\a.txt", "returns 3"}},
      {"a folder named with '/' keeps it, as the caller spelled it",
       "t/",
       {{"root", {{"sub", 'd', 2, "S"}}}, {"S", {{"c", 'f'}}}},
       {"folder t/sub\\", "file t/sub\\c", "returns 1"}},
      {"a folder whose name passes a path buffer is listed as a file, never walked",
       "t\\",
       {{"root", {{long_name, 'd', 2, "missing"}, {std::string(256, 'n'), 'd', 3, "N"}}}, {"N", {}}},
       {"file t\\" + long_name + "\\", "folder t\\" + std::string(256, 'n') + "\\", "returns 2"}},
      {"a folder that cannot be searched stays a member and is reported by its index",
       "t\\",
       {{"root", {{"a", 'f'}, {"locked", 'd', 2, "missing"}, {"z", 'f'}}}},
       {"file t\\a", "folder t\\locked\\", "unsearchable 2", "file t\\z", "returns 3"}},
      {"a given folder that cannot be searched gives -1 and nothing else", "t\\", {}, {"returns -1"}},
      {"what the policy refuses is neither a member nor walked",
       "t\\",
       {{"root", {{"private", 'd', 2, "refused"}, {"x", 'f'}}}, {"refused", {{"secret", 'f'}}}},
       {"refused t\\private\\", "file t\\x", "returns 1"}},
      {"without identities the rules cannot apply: both ways in are walked",
       "t\\",
       {{"root", {{"a", 'd', 0, "A"}, {"b", 'd', 0, "A"}}}, {"A", {{"f", 'f'}}}},
       {"folder t\\a\\", "file t\\a\\f", "folder t\\b\\", "file t\\b\\f", "returns 2"}},
  };
  WalkEntry root;
  root.kind = WalkEntry::Kind::kFolder;
  root.identity = platform::FileIdentity{1, 1};
  root.source = "root";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    RecordingPolicy policy(&c.tree);
    FolderWalk walk;
    policy.events.push_back("returns " + std::to_string(walk.Walk(policy, portable::WideFromUtf8(c.root_name), root)));
    EXPECT_EQ(policy.events, c.events);
  }
}

}  // namespace
}  // namespace ydr::zip
