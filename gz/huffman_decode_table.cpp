// Building decoding tables.
//
// Codes are assigned in canonical order (by length, then by symbol) and entered into the
// table tree as they come: a code no longer than the current level's index fills every
// entry whose low bits are its (reversed) code (on the first level by doubling the table
// as the lengths grow); a longer one opens a new table below the current level. A new
// table's width starts at what its first code needs and grows while the codes still to
// come (counted over the whole code) would leave it with empty entries, up to the level
// width. An incomplete code is made complete with invalid codes of the longest length, so
// that every entry is filled.
#include "gz/huffman_decode_table.h"

#include <cstring>

#include "gz/deflate_constants.h"

namespace ydr::gz {

BuildResult DecodeTable::Build(const std::uint8_t *lengths, int count, int simple, const std::uint16_t *base,
                               const std::uint8_t *extra, int requested_root_bits, bool allow_incomplete) {
  root_bits_ = 0;
  size_ = 0;
  // The four quarters of the symbols are counted (and sorted below) side by side: runs of
  // equal lengths would otherwise make each count wait for the one before. The last quarter
  // takes the symbols left over.
  const int quarter = count / 4;
  unsigned in_quarter[4][kMaxBits + 1] = {};
  for (int i = 0; i < quarter; ++i) {
    ++in_quarter[0][lengths[i]];
    ++in_quarter[1][lengths[quarter + i]];
    ++in_quarter[2][lengths[2 * quarter + i]];
    ++in_quarter[3][lengths[3 * quarter + i]];
  }
  for (int i = 4 * quarter; i < count; ++i) ++in_quarter[3][lengths[i]];
  unsigned c[kMaxBits + 1];
  for (int j = 0; j <= kMaxBits; ++j) c[j] = in_quarter[0][j] + in_quarter[1][j] + in_quarter[2][j] + in_quarter[3][j];
  for (int j = 1; j <= kMaxBits; ++j) counts_[j] = static_cast<std::uint16_t>(c[j]);
  if (c[0] == static_cast<unsigned>(count)) return BuildResult::kComplete;  // no codes: empty

  int min_length = 1;
  while (c[min_length] == 0) ++min_length;
  int max_length = kMaxBits;
  while (c[max_length] == 0) --max_length;
  int l = requested_root_bits;
  if (l < min_length) l = min_length;
  if (l > max_length) l = max_length;

  // Patterns left unused at the longest length; negative means too many codes.
  int unused = 1 << min_length;
  for (int j = min_length; j < max_length; ++j, unused <<= 1) {
    if ((unused -= static_cast<int>(c[j])) < 0) return BuildResult::kOverSubscribed;
  }
  if ((unused -= static_cast<int>(c[max_length])) < 0) return BuildResult::kOverSubscribed;
  if (unused != 0 && !allow_incomplete) return BuildResult::kIncomplete;
  c[max_length] += static_cast<unsigned>(unused);  // fill with invalid codes

  // Symbols in order of code length.
  unsigned offset[kMaxBits + 2];
  offset[1] = 0;
  for (int j = 1; j < max_length; ++j) offset[j + 1] = offset[j] + c[j];
  // Symbols without a code go to the far end, out of the way, so that no test decides.
  std::uint16_t *const values = symbols_;
  unsigned at[4][kMaxBits + 1];
  for (int j = 0; j <= max_length; ++j) {
    unsigned next = j == 0 ? kMaxSymbols : offset[j];
    for (int q = 0; q < 4; ++q) {
      at[q][j] = next;
      next += in_quarter[q][j];
    }
  }
  for (int i = 0; i < quarter; ++i) {
    values[at[0][lengths[i]]++] = static_cast<std::uint16_t>(i);
    values[at[1][lengths[quarter + i]]++] = static_cast<std::uint16_t>(quarter + i);
    values[at[2][lengths[2 * quarter + i]]++] = static_cast<std::uint16_t>(2 * quarter + i);
    values[at[3][lengths[3 * quarter + i]]++] = static_cast<std::uint16_t>(3 * quarter + i);
  }
  for (int i = 4 * quarter; i < count; ++i) values[at[3][lengths[i]]++] = static_cast<std::uint16_t>(i);
  const int real_codes = count - static_cast<int>(c[0]);

  // The first level: each code that fits is stored once in a table as wide as its length,
  // which is doubled (copied onto its upper half) before each longer length, so that a code
  // of length k lands in its 2^(l - k) entries without a loop of its own. The entries the
  // copies leave for longer codes' prefixes are all overwritten by their links below.
  if (1 << l > capacity_) return BuildResult::kNoMemory;
  const auto entry_for = [&](int p, int bits) {
    DecodeEntry r;
    r.bits = static_cast<std::uint8_t>(bits);
    if (p >= real_codes) {
      r.op = kOpInvalid;
      r.value = 0;
    } else if (values[p] < simple) {
      r.op = values[p] < 256 ? kOpLiteral : kOpEndOfBlock;
      r.value = static_cast<std::uint16_t>(values[p]);
    } else {
      r.op = extra[values[p] - simple];
      r.value = base[values[p] - simple];
    }
    return r;
  };
  unsigned code = 0;                     // the current code, reversed
  int p = 0;                             // next value
  const auto advance = [&code](int k) {  // the next code, counting in reversed bit order
    unsigned bit = 1u << (k - 1);
    for (; code & bit; bit >>= 1) code ^= bit;
    code ^= bit;
  };
  unsigned filled = 1u << min_length;
  for (int k = min_length;; ++k) {
    for (unsigned a = c[k]; a != 0; --a) {
      entries_[code] = entry_for(p, k);
      if (p < real_codes) ++p;
      advance(k);
    }
    if (k == l) break;
    std::memcpy(&entries_[filled], &entries_[0], filled * sizeof(DecodeEntry));
    filled <<= 1;
  }
  root_bits_ = l;
  size_ = 1 << l;

  // Longer codes: second-level tables (and below) opened as their codes come.
  int h = 0;                          // table level
  int w = 0;                          // bits decoded before the current table
  int table[kMaxBits + 1] = {};       // offset of each level's table
  unsigned saved[kMaxBits + 1] = {};  // the code at which each level's table began
  int z = 1 << l;                     // entries in the current table

  for (int k = l + 1; k <= max_length; ++k) {
    unsigned a = c[k];
    while (a-- != 0) {
      while (k > w + l) {  // open tables down to the level this code needs
        ++h;
        w += l;
        unsigned limit = static_cast<unsigned>(max_length - w);
        if (limit > static_cast<unsigned>(l)) limit = static_cast<unsigned>(l);
        int j = k - w;
        unsigned f = 1u << j;
        if (f > a + 1) {
          f -= a + 1;
          int xp = k;
          if (static_cast<unsigned>(j) < limit) {
            while (static_cast<unsigned>(++j) < limit) {
              if ((f <<= 1) <= c[++xp]) break;
              f -= c[xp];
            }
          }
        }
        z = 1 << j;
        if (size_ + z > capacity_) return BuildResult::kNoMemory;
        table[h] = size_;
        size_ += z;
        saved[h] = code;
        const unsigned index = code >> (w - l);
        entries_[table[h - 1] + static_cast<int>(index)] = {
            static_cast<std::uint8_t>(16 + j), static_cast<std::uint8_t>(l), static_cast<std::uint16_t>(table[h])};
      }

      const DecodeEntry r = entry_for(p, k - w);
      if (p < real_codes) ++p;
      const unsigned step = 1u << (k - w);
      for (unsigned j = code >> w; j < static_cast<unsigned>(z); j += step)
        entries_[table[h] + static_cast<int>(j)] = r;
      advance(k);

      // Back up over the tables that are full.
      while ((code & ((1u << w) - 1)) != saved[h]) {
        --h;
        w -= l;
      }
    }
  }
  return unused != 0 ? BuildResult::kIncomplete : BuildResult::kComplete;
}

// Codes are entered shortest first into a table as wide as the current length, which is
// doubled (copied onto its upper half) before each longer length: a code of length L then
// needs one store, and its 2^(kBits - L) copies come from the doublings.
template <int kBits>
void FastTable<kBits>::Build(const DecodeTable &table, int simple, const std::uint16_t *base,
                             const std::uint8_t *extra) {
  const std::uint16_t *const counts = table.length_counts();
  const std::uint16_t *const sorted = table.symbols_by_length();
  int shortest = 1;
  while (shortest <= kBits && counts[shortest] == 0) ++shortest;
  if (shortest > kBits) {
    for (std::uint32_t &e : entries) e = fast_entry::kElsewhere;
    return;
  }
  unsigned next = 0;  // index into `sorted`: the symbols of each length follow those shorter

  std::uint32_t size = 1u << shortest;
  for (std::uint32_t i = 0; i < size; ++i) entries[i] = fast_entry::kElsewhere;
  unsigned code = 0;  // the next code, bit-reversed as it is read from the stream
  for (int len = shortest;; ++len) {
    for (unsigned n = counts[len]; n != 0; --n) {
      const int symbol = sorted[next++];
      std::uint32_t e;
      if (symbol < simple) {
        // The end of a block consumes nothing here: it is left to the waiting table.
        e = symbol < 256 ? fast_entry::kLiteral | static_cast<std::uint32_t>(symbol) << 16 |
                               static_cast<std::uint32_t>(len) | static_cast<std::uint32_t>(len) << 8
                         : fast_entry::kElsewhere;
      } else {
        const std::uint32_t extra_bits = extra[symbol - simple];
        // A symbol without meaning (extra 99) is left to the waiting table, which rejects it.
        e = extra_bits > 13 ? fast_entry::kElsewhere
                            : (len + extra_bits) | static_cast<std::uint32_t>(len) << 8 |
                                  static_cast<std::uint32_t>(base[symbol - simple]) << 16;
      }
      entries[code] = e;
      // The next code of this length, counting in reversed bit order.
      unsigned bit = 1u << (len - 1);
      while ((code & bit) != 0) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;
    }
    if (len == kBits) break;
    std::memcpy(entries + size, entries, size * sizeof entries[0]);
    size <<= 1;
  }
}

template struct FastTable<11>;
template struct FastTable<10>;

}  // namespace ydr::gz
