// Decoding deflate data, resumably.
//
// The decoder keeps its place between calls: between blocks, inside a stored block (bytes
// still to copy), or inside a coded block (after a literal, or inside a match with the
// bytes still to copy). It stops the moment the window is full, so that every call hands
// out exactly one window until the last.
//
// Its window is a circular window of W bytes laid out flat: the previous window's bytes,
// then the window being filled. A caller with room for whole windows may have them decoded
// straight into its own memory instead (DecodeInto), the W bytes before it being the
// history; the decoder then runs on across the windows, and afterwards leaves its ring as
// if each window had gone through it. A match reaches back into both; a distance larger than W (a
// stream written with a larger window than this reader's) reads the circular window's byte,
// that is distance modulo W: such a stream reads back wrong, as documented, never out of
// bounds.
//
// Bits are taken from the source as late as possible: before each lookup the decoder waits
// for as many bits as the table's first level indexes, before a link for
// the linked table's width, before extra bits for their number. Where the source ends, that
// decides whether a stream that lacks its tail still yields its last window, so the slow
// path below waits exactly so. The fast path reads ahead freely, but only where plenty of
// input is buffered and the window has room; it leaves every decision near an end to the
// slow path.
#include "gz/inflater.h"

#include <cstring>
#include <mutex>

#include "gz/deflate_constants.h"
#include "portable/byte_order.h"
#include "portable/cpu_features.h"

namespace ydr::gz {
namespace {

constexpr std::uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                           35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
// The two codes beyond 285 exist in the fixed code but mean nothing: invalid.
constexpr std::uint8_t kLengthExtraBits[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                               3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

constexpr int kLitLenRootBits = 9;
constexpr int kDistRootBits = 6;
constexpr int kBitLengthRootBits = 7;
constexpr int kFixedLitLenRootBits = 7;
constexpr int kFixedDistRootBits = 5;

struct FixedTables {
  DecodeTable litlen{DecodeTable::kLitLenCapacity};
  DecodeTable dist{DecodeTable::kDistCapacity};
  FastTable<11> fast_litlen;
  FastTable<10> fast_dist;
  bool ok = false;
};

// The fixed code's tables never change: built once for every reader.
const FixedTables *GetFixedTables() {
  static FixedTables *tables = [] {
    auto *t = new (std::nothrow) FixedTables;
    if (t == nullptr || !t->litlen.allocated() || !t->dist.allocated()) return t;
    std::uint8_t lengths[288];
    for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    const bool lit_ok = t->litlen.Build(lengths, 288, 257, kLengthBase, kLengthExtraBits, kFixedLitLenRootBits,
                                        false) == BuildResult::kComplete;
    t->fast_litlen.Build(t->litlen, 257, kLengthBase, kLengthExtraBits);
    for (int i = 0; i < 30; ++i) lengths[i] = 5;
    // 30 of the 32 five-bit codes: incomplete, and accepted.
    const bool dist_ok =
        t->dist.Build(lengths, 30, 0, kDistBase, kDistExtra, kFixedDistRootBits, true) == BuildResult::kIncomplete;
    t->fast_dist.Build(t->dist, 0, kDistBase, kDistExtra);
    t->ok = lit_ok && dist_ok;
    return t;
  }();
  return tables != nullptr && tables->ok ? tables : nullptr;
}

}  // namespace

Inflater::Inflater(SourceBuffer *source, std::uint32_t window_size, std::uint8_t *window, DecodeTable *litlen,
                   DecodeTable *dist, DecodeTable *bitlen)
    : source_(source),
      window_size_(window_size),
      window_(window),
      litlen_(litlen),
      dist_(dist),
      bitlen_(bitlen),
      fast_litlen_(new (std::nothrow) FastTable<11>),
      fast_dist_(new (std::nothrow) FastTable<10>),
      ring_size_(RingSize(window_size)),
      base_(window_size),
      output_(window + window_size),
      out_(window + window_size),
      limit_(window_size),
      room_(window_size + kWindowSlack) {
#if defined(YDR_X86_TARGETS)
  bit_instructions_ = portable::GetCpuFeatures().bmi2;
#endif
}

void Inflater::Reset() {
  // A reset drops the bits the decoder holds; bytes it read ahead of where it waited stay,
  // as they are still unread. After the final block the whole bytes it held were already
  // given back to the source (the trailer starts at the next byte boundary), so only the
  // partial byte goes; the given-back bytes still count as consumed, as they did before.
  std::uint64_t mark = SourceBytesTaken() * 8;
  if (ended_) {
    const std::uint64_t boundary = (consumed_bits() + 7) / 8 * 8;
    if (mark > boundary) {
      consumed_before_ += (mark - boundary) / 8;
      mark = boundary;
    }
  }
  if (mark > consumed_bits()) Drop(static_cast<int>(mark - consumed_bits()));
  need_mark_ = consumed_bits();
  // Window bytes not handed out are dropped; those written stay as history.
  std::memcpy(window_ + base_ - window_size_, window_ + base_, position_);
  position_ = 0;
  UseRing();
  in_block_ = fresh_block_ = final_ = ended_ = failed_ = tables_held_ = false;
  type_ = 0;
  stored_left_ = 0;
  phase_ = Phase::kStart;
  copy_left_ = copy_distance_ = 0;
}

bool Inflater::LoadBits(int n) {
  // Where the source has eight bytes buffered, as many whole bytes as fit are taken at once:
  // reading ahead of the waits changes nothing the waits decide (see need_mark_), and takes
  // no byte the source does not already hold.
  if (source_->available() >= 8) {
    const int take = (63 - bit_count_) >> 3;
    const std::uint64_t word = portable::LoadLittleEndian64(source_->next());
    bit_buffer_ |= (word & ((std::uint64_t{1} << (8 * take)) - 1)) << bit_count_;
    bit_count_ += 8 * take;
    loaded_ += static_cast<std::uint64_t>(take);
    source_->Skip(static_cast<std::uint32_t>(take));
    return true;  // n is at most 16, and at least 48 bits are held now
  }
  while (bit_count_ < n) {
    const int byte = source_->Fetch();
    if (byte < 0) return false;
    bit_buffer_ |= static_cast<std::uint64_t>(byte) << bit_count_;
    bit_count_ += 8;
    ++loaded_;
  }
  return true;
}

int Inflater::Fail(InflateStatus why) {
  failed_ = true;
  failure_ = why;
  return -1;
}

int Inflater::HandOut() {
  const std::uint32_t count = position_;
  output_ = window_ + base_;
  // What was written becomes history for the next window; the bytes stay where they are
  // for the caller until the next call.
  if (count == window_size_) {
    base_ += window_size_;
  } else {
    std::memcpy(window_ + base_ - window_size_, window_ + base_, count);  // the circular window's view
  }
  position_ = 0;
  return static_cast<int>(count);
}

void Inflater::UseRing() {
  if (base_ + window_size_ + kWindowSlack > ring_size_) {  // back to the ring's start
    std::memcpy(window_, window_ + base_ - window_size_, window_size_);
    base_ = window_size_;
  }
  out_ = window_ + base_;
  limit_ = window_size_;
  room_ = window_size_ + kWindowSlack;
}

int Inflater::Decode() {
  if (failed_) return -1;
  if (ended_) return 0;
  UseRing();
  const InflateStatus result = Run();
  if (!Continues(result)) return Fail(result);
  return HandOut();
}

int Inflater::DecodeInto(std::uint8_t *to, std::uint32_t count, std::uint32_t room) {
  if (failed_) return -1;
  if (ended_) return 0;
  out_ = to;
  limit_ = count;
  room_ = room;
  const InflateStatus result = Run();
  // Back to the ring, left as the window-by-window decoder leaves it: the last whole window
  // as history, overwritten at its start by a last partial window at the end of the stream; or,
  // after a failure, the partial window as the window being filled.
  const std::uint32_t produced = position_;
  const std::uint32_t whole = produced - produced % window_size_;
  base_ = window_size_;
  std::uint8_t *const history = window_;
  std::memcpy(history, to + whole - window_size_, window_size_);  // before `to` when no window is whole
  position_ = 0;
  UseRing();
  if (!Continues(result)) {
    position_ = produced - whole;
    std::memcpy(out_, to + whole, position_);
    Fail(result);
    return static_cast<int>(whole);
  }
  std::memcpy(history, to + whole, produced - whole);
  return static_cast<int>(produced);
}

InflateStatus Inflater::Run() {
  for (;;) {
    if (!in_block_) {
      if (!NeedBits(1)) return InflateStatus::kNeedsInput;
      final_ = Bits(1) != 0;
      Drop(1);
      if (!NeedBits(2)) return InflateStatus::kNeedsInput;
      type_ = static_cast<int>(Bits(2));
      Drop(2);
      in_block_ = true;
      fresh_block_ = true;
    }
    InflateStatus result;
    switch (type_) {
      case 0: result = Stored(); break;
      case 1: result = Fixed(); break;
      case 2: result = Dynamic(); break;
      default: return InflateStatus::kBadBlockType;
    }
    if (!Continues(result)) return result;
    if (result == InflateStatus::kWindowFull) return result;
    in_block_ = false;
    if (final_) {
      ended_ = true;
      return InflateStatus::kDone;
    }
  }
}

InflateStatus Inflater::Stored() {
  if (fresh_block_) {
    Drop(bit_count_ & 7);  // to a byte boundary
    if (!NeedBits(16)) return InflateStatus::kNeedsInput;
    const std::uint32_t length = Bits(16);
    Drop(16);
    if (!NeedBits(16)) return InflateStatus::kNeedsInput;
    if (Bits(16) != (~length & 0xFFFF)) return InflateStatus::kStoredLengthMismatch;
    Drop(16);
    stored_left_ = length;
    fresh_block_ = false;
  }
  std::uint8_t *const out = out_;
  while (stored_left_ > 0) {
    if (bit_count_ >= 8) {  // bytes already taken into the bit buffer come first
      NeedBits(8);
      out[position_++] = static_cast<std::uint8_t>(Bits(8));
      Drop(8);
      --stored_left_;
    } else {
      if (source_->available() == 0 && !NeedBits(8)) return InflateStatus::kNeedsInput;  // refills
      if (bit_count_ >= 8) continue;
      std::uint32_t n = stored_left_;
      if (n > limit_ - position_) n = limit_ - position_;
      if (n > source_->available()) n = source_->available();
      std::memcpy(out + position_, source_->next(), n);
      source_->Skip(n);
      loaded_ += n;
      position_ += n;
      stored_left_ -= n;
      if (consumed_bits() > need_mark_) need_mark_ = consumed_bits();
    }
    if (position_ == limit_) return InflateStatus::kWindowFull;
  }
  return InflateStatus::kDone;
}

InflateStatus Inflater::Fixed() {
  const FixedTables *fixed = GetFixedTables();
  if (fixed == nullptr) return InflateStatus::kNoMemory;
  if (fresh_block_) {
    phase_ = Phase::kStart;
    fresh_block_ = false;
  }
  return Symbols(fixed->litlen, fixed->dist, fixed->fast_litlen, fixed->fast_dist);
}

InflateStatus Inflater::ReadDynamicHeader() {
  if (!NeedBits(5)) return InflateStatus::kNeedsInput;
  const int nlit = 257 + static_cast<int>(Bits(5));
  Drop(5);
  if (!NeedBits(5)) return InflateStatus::kNeedsInput;
  const int ndist = 1 + static_cast<int>(Bits(5));
  Drop(5);
  if (!NeedBits(4)) return InflateStatus::kNeedsInput;
  const int ncode = 4 + static_cast<int>(Bits(4));
  Drop(4);
  if (nlit > 286 || ndist > 30) return InflateStatus::kTooManyCodes;

  std::uint8_t lengths[286 + 30] = {};
  for (int j = 0; j < ncode; ++j) {
    if (!NeedBits(3)) return InflateStatus::kNeedsInput;
    lengths[kBitLengthOrder[j]] = static_cast<std::uint8_t>(Bits(3));
    Drop(3);
  }
  for (int j = ncode; j < kBitLengthCodes; ++j) lengths[kBitLengthOrder[j]] = 0;
  if (bitlen_->Build(lengths, kBitLengthCodes, kBitLengthCodes, nullptr, nullptr, kBitLengthRootBits, false) !=
          BuildResult::kComplete ||
      bitlen_->empty()) {
    return InflateStatus::kBadBitLengthCode;
  }

  const int total = nlit + ndist;
  if (const InflateStatus r = ReadCodeLengths(lengths, total); r != InflateStatus::kDone) return r;

  if (litlen_->Build(lengths, nlit, 257, kLengthBase, kLengthExtraBits, kLitLenRootBits, false) !=
      BuildResult::kComplete) {
    return InflateStatus::kBadLiteralLengthCode;
  }
  if (dist_->Build(lengths + nlit, ndist, 0, kDistBase, kDistExtra, kDistRootBits, false) != BuildResult::kComplete) {
    return InflateStatus::kBadDistanceCode;
  }
  fast_litlen_->Build(*litlen_, 257, kLengthBase, kLengthExtraBits);
  fast_dist_->Build(*dist_, 0, kDistBase, kDistExtra);
  return InflateStatus::kDone;
}

// The code lengths of the literal/length and distance codes, through the code-length code.
// The bit state lives in locals meanwhile (the byte stores into `lengths` could otherwise
// alias it), written back on the way out; waits behave exactly as NeedBits.
InflateStatus Inflater::ReadCodeLengths(std::uint8_t *lengths, int total) {
  struct Local {
    Inflater &d;
    std::uint64_t bits, mark, loaded;
    int count;
    explicit Local(Inflater &decoder)
        : d(decoder), bits(d.bit_buffer_), mark(d.need_mark_), loaded(d.loaded_), count(d.bit_count_) {}
    ~Local() { Out(); }
    void Out() {
      d.bit_buffer_ = bits;
      d.bit_count_ = count;
      d.loaded_ = loaded;
      d.need_mark_ = mark;
    }
    bool Need(int n) {
      const std::uint64_t wanted = loaded * 8 - static_cast<std::uint64_t>(count) + static_cast<std::uint64_t>(n);
      if (wanted > mark) mark = wanted;
      if (count >= n) return true;
      Out();
      const bool ok = d.LoadBits(n);
      bits = d.bit_buffer_;
      count = d.bit_count_;
      loaded = d.loaded_;
      return ok;
    }
    std::uint32_t Take(int n) {
      const auto v = static_cast<std::uint32_t>(bits) & ((1u << n) - 1);
      bits >>= n;
      count -= n;
      return v;
    }
  } b(*this);
  const DecodeEntry *const table = bitlen_->entries();
  const int root = bitlen_->root_bits();
  int previous = 0;
  for (int i = 0; i < total;) {
    if (!b.Need(root)) return InflateStatus::kNeedsInput;
    const DecodeEntry entry = table[static_cast<std::uint32_t>(b.bits) & ((1u << root) - 1)];
    b.Take(entry.bits);
    const int symbol = entry.value;
    if (symbol < 16) {
      lengths[i++] = static_cast<std::uint8_t>(previous = symbol);
      continue;
    }
    int repeat;
    std::uint8_t value;
    if (symbol == 16) {
      if (!b.Need(2)) return InflateStatus::kNeedsInput;
      repeat = 3 + static_cast<int>(b.Take(2));
      value = static_cast<std::uint8_t>(previous);
    } else if (symbol == 17) {
      if (!b.Need(3)) return InflateStatus::kNeedsInput;
      repeat = 3 + static_cast<int>(b.Take(3));
      value = 0;
      previous = 0;
    } else {
      if (!b.Need(7)) return InflateStatus::kNeedsInput;
      repeat = 11 + static_cast<int>(b.Take(7));
      value = 0;
      previous = 0;
    }
    if (i + repeat > total) return InflateStatus::kRepeatPastEnd;
    std::memset(lengths + i, value, static_cast<std::size_t>(repeat));
    i += repeat;
  }
  return InflateStatus::kDone;
}

InflateStatus Inflater::Dynamic() {
  if (fresh_block_) {
    const InflateStatus header = ReadDynamicHeader();
    if (header != InflateStatus::kDone) return header;
    fresh_block_ = false;
    tables_held_ = true;
    phase_ = Phase::kStart;
  }
  const InflateStatus result = Symbols(*litlen_, *dist_, *fast_litlen_, *fast_dist_);
  if (result == InflateStatus::kDone) tables_held_ = false;
  return result;
}

InflateStatus Inflater::LookUp(const DecodeTable &table, DecodeEntry *entry) {
  if (table.empty()) return InflateStatus::kNoCode;
  const int root = table.root_bits();
  if (!NeedBits(root)) return InflateStatus::kNeedsInput;
  DecodeEntry e = table.entries()[Bits(root)];
  while (IsLink(e.op)) {
    Drop(e.bits);
    const int width = e.op - 16;
    if (!NeedBits(width)) return InflateStatus::kNeedsInput;
    e = table.entries()[e.value + Bits(width)];
  }
  if (e.op == kOpInvalid) return InflateStatus::kInvalidSymbol;
  Drop(e.bits);
  *entry = e;
  return InflateStatus::kDone;
}

InflateStatus Inflater::ContinueCopy() {
  std::uint8_t *const out = out_;
  while (copy_left_ > 0) {
    std::uint32_t n = limit_ - position_;
    if (n > copy_left_) n = copy_left_;
    std::uint8_t *to = out + position_;
    const std::uint8_t *from = to - copy_distance_;
    if (copy_distance_ >= n) {
      std::memcpy(to, from, n);
    } else {
      for (std::uint32_t i = 0; i < n; ++i) to[i] = from[i];
    }
    position_ += n;
    copy_left_ -= n;
    if (position_ == limit_) return InflateStatus::kWindowFull;
  }
  return InflateStatus::kDone;
}

InflateStatus Inflater::Symbols(const DecodeTable &litlen, const DecodeTable &dist, const FastTable<11> &fast_litlen,
                                const FastTable<10> &fast_dist) {
  if (phase_ == Phase::kInCopy) {
    phase_ = Phase::kAfterLiteral;
    if (ContinueCopy() == InflateStatus::kWindowFull) {
      phase_ = Phase::kInCopy;
      return InflateStatus::kWindowFull;
    }
  }
  std::uint8_t *const out = out_;
  for (;;) {
    FastSymbols(litlen, dist, fast_litlen, fast_dist);
    DecodeEntry e;
    if (const InflateStatus r = LookUp(litlen, &e); r != InflateStatus::kDone) return r;
    if (e.op == kOpLiteral) {
      out[position_++] = static_cast<std::uint8_t>(e.value);
      if (position_ == limit_) {
        phase_ = Phase::kAfterLiteral;
        return InflateStatus::kWindowFull;
      }
      continue;
    }
    if (e.op == kOpEndOfBlock) {
      phase_ = Phase::kStart;
      return InflateStatus::kDone;
    }
    if (!NeedBits(e.op)) return InflateStatus::kNeedsInput;
    const std::uint32_t length = e.value + Bits(e.op);
    Drop(e.op);
    if (const InflateStatus r = LookUp(dist, &e); r != InflateStatus::kDone) return r;
    if (!NeedBits(e.op)) return InflateStatus::kNeedsInput;
    const std::uint32_t distance = e.value + Bits(e.op);
    Drop(e.op);
    copy_left_ = length;
    copy_distance_ = distance <= window_size_ ? distance : ((distance - 1) & (window_size_ - 1)) + 1;
    if (ContinueCopy() == InflateStatus::kWindowFull) {
      phase_ = Phase::kInCopy;
      return InflateStatus::kWindowFull;
    }
  }
}

std::uint64_t Inflater::ReadTrailer(std::uint8_t trailer[8]) {
  // After the final block the decoder gives back the whole bytes it holds, so the trailer
  // starts at the next byte boundary; stopped elsewhere, it starts where the decoder's waits
  // stopped.
  const std::uint64_t taken = SourceBytesTaken();
  const std::uint64_t start_bits = ended_ ? (consumed_bits() + 7) / 8 * 8 : taken * 8;
  if (start_bits > consumed_bits()) Drop(static_cast<int>(start_bits - consumed_bits()));
  std::uint64_t obtained = 0;
  for (int i = 0; i < 8; ++i) {
    if (bit_count_ >= 8) {
      trailer[i] = static_cast<std::uint8_t>(bit_buffer_);
      Drop(8);
      ++obtained;
    } else {
      const int byte = source_->Fetch();
      trailer[i] = byte < 0 ? 0xFF : static_cast<std::uint8_t>(byte);
      if (byte >= 0) ++obtained;
    }
  }
  return consumed_before_ + taken + obtained;
}

}  // namespace ydr::gz
