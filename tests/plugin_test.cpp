// The plug-in object base as a host drives it: overrides reached, state as raw bytes, no exception let out.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "ydr/base.h"
#include "ydr/plugin.h"

namespace {

const HWND kWindow = reinterpret_cast<HWND>(0x1234);

class Owner : public IYdrPluginOwner {
 public:
  HWND GetHWND() override { return kWindow; }
};

// A derived object whose state is a string of bytes.
class Counter : public CYdrPluginObject {
 public:
  std::string state;
  RECT drawn{};
  std::vector<int> serialize_calls;  // the storing argument of each call
  bool throw_in_serialize = false;

 protected:
  int Serialize(CYdrPluginStream &stream, int storing) override {
    serialize_calls.push_back(storing);
    if (throw_in_serialize) throw std::runtime_error("the host's own failure");
    if (storing) {
      stream << state;
    } else {
      state.assign(std::istreambuf_iterator<char>(stream), {});
    }
    return stream.fail() ? 0 : 1;
  }
  void OnDraw(HDC, const RECT &rect) override { drawn = rect; }
  int ProcessMessage(unsigned int message, unsigned int wParam, long lParam) override {
    return static_cast<int>(message * 100 + wParam * 10 + static_cast<unsigned>(lParam));  // each in its place
  }
};

TEST(PluginObjectTest, CallsReachTheOverridesOrTheDefaults) {
  Counter counter;
  IYdrPluginObject *object = &counter;
  object->DrawProc(nullptr, RECT{1, 2, 30, 40});
  EXPECT_EQ(counter.drawn.right, 30);
  EXPECT_EQ(object->MessageProc(3, 5, 7), 357);
  EXPECT_EQ(object->GetHWND(), nullptr);
  Owner owner;
  object->SetOwner(&owner);
  EXPECT_EQ(object->GetHWND(), kWindow);
  // A plain object has no state (null, the size unchanged) and handles nothing.
  CYdrPluginObject plain;
  unsigned int size = 17;
  EXPECT_EQ(plain.GetRawData(size), nullptr);
  EXPECT_EQ(size, 17u);
  EXPECT_EQ(plain.MessageProc(1, 2, 3), 0);
  plain.DrawProc(nullptr, RECT{});
}

// Each object frees its own blocks only, and all of them (leaks and double frees show under the sanitizers).
TEST(PluginObjectTest, StateTravelsAsRawBytesInBlocksOfItsOwn) {
  Owner owner;
  Counter saved;
  saved.SetOwner(&owner);
  saved.state = std::string("two words\0and\na line", 20);
  unsigned int size = 0;
  IYdrPluginObject *object = &saved;
  void *data = object->GetRawData(size);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(static_cast<const char *>(data), size), saved.state);
  Counter restored;
  static_cast<IYdrPluginObject &>(restored).SetRawData(data, size);
  EXPECT_EQ(restored.state, saved.state);
  {
    Counter copy(saved);  // the state and the owner, not the block
    EXPECT_EQ(copy.GetHWND(), kWindow);
    EXPECT_NE(copy.GetRawData(size), data);
  }
  ASSERT_NE(restored.GetRawData(size), nullptr);
  restored = saved;  // restored's own block is freed, saved's is not taken
  EXPECT_EQ(restored.GetHWND(), kWindow);
  EXPECT_NE(restored.GetRawData(size), data);
  EXPECT_EQ(std::memcmp(data, "two ", 4), 0);  // still saved's, still alive
  // The block is replaced; an empty state is a block of size 0, not a failure.
  saved.state.clear();
  EXPECT_NE(object->GetRawData(size), nullptr);
  EXPECT_EQ(size, 0u);
}

TEST(PluginObjectTest, AThrowingSerializeGivesTheFailureResult) {
#if defined(_WIN32) && defined(__i386__) && !defined(__USING_SJLJ_EXCEPTIONS__) && !defined(__SEH__)
  GTEST_SKIP() << "on 32-bit Windows an override's exception cannot unwind to the DLL's guard";
#endif
  Counter counter;
  unsigned int size = 0;
  ASSERT_NE(counter.GetRawData(size), nullptr);
  counter.throw_in_serialize = true;
  size = 55;
  EXPECT_EQ(counter.GetRawData(size), nullptr);  // the earlier block is gone too
  EXPECT_EQ(size, 55u);
  char bytes[] = "state";
  EXPECT_NO_THROW(counter.SetRawData(bytes, sizeof bytes - 1));
  EXPECT_EQ(counter.serialize_calls, (std::vector<int>{1, 1, 0}));
}

// At 32 bits a size no container holds throws inside the export: the failure result instead.
TEST(PluginObjectTest, ExportsGiveTheFailureResultForSizesNoContainerHolds) {
  if (sizeof(void *) != 4) GTEST_SKIP() << "at 64 bits these sizes could be allocated and short buffers overread";
  const unsigned short wide[] = {'a', 'b', 'c', 0};
  char ansi[16];
  unsigned short units[16];
  for (const int length : {3, INT_MAX}) {
    SCOPED_TRACE(length);
    const bool real = length == 3;
    EXPECT_EQ(YdrUnicodeToAnsi(65001, 0, wide, length, ansi, 16, 0), real ? 3 : 0);
    EXPECT_EQ(YdrAnsiToUnicode(65001, 0, "abc", length, units, 16, 0), real ? 3 : 0);
    Counter counter;
    char state[] = "state";
    counter.SetRawData(state, real ? 5 : UINT_MAX - 1);
    EXPECT_EQ(counter.serialize_calls.size(), real ? 1u : 0u);
  }
}

}  // namespace
